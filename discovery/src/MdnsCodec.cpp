#include "MdnsCodec.h"

#include <netinet/in.h>
#include <sys/uio.h>

#include <cstring>

namespace orvane::infra {

namespace {

constexpr std::size_t HeaderSize = 12;
constexpr int MaxNameSteps = 65;
constexpr int MaxPointerHops = 16;

std::uint16_t read16(const std::uint8_t *p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

std::uint32_t read32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8)
        | std::uint32_t(p[3]);
}

void write16(std::uint8_t *p, std::uint16_t value)
{
    p[0] = std::uint8_t(value >> 8);
    p[1] = std::uint8_t(value);
}

// Reads the name at `offset`; on success moves `offset` past it (2 bytes after the first
// pointer, else 1 after the zero byte) and, with an output buffer, writes each label and a dot
// as far as room is left.
bool walkName(const std::uint8_t *d, std::size_t length, std::size_t &offset, char *out,
              std::size_t capacity, std::size_t *written)
{
    std::size_t pos = offset;
    std::size_t after = 0;
    bool jumped = false;
    std::size_t used = 0;
    for (int step = 0; step < MaxNameSteps; ++step) {
        if (pos >= length)
            return false;
        const std::uint8_t byte = d[pos];
        if (byte == 0) {
            offset = jumped ? after : pos + 1;
            if (written)
                *written = used;
            return true;
        }
        if ((byte & 0xC0) == 0xC0) {
            for (int hops = 0; pos < length && (d[pos] & 0xC0) == 0xC0; ++hops) {
                if (hops == MaxPointerHops || length - pos < 2)
                    return false;
                const std::size_t target = std::size_t(d[pos] & 0x3F) << 8 | d[pos + 1];
                if (!jumped) {
                    jumped = true;
                    after = pos + 2;
                }
                if (target >= length)
                    return false;
                pos = target;
            }
            continue;
        }
        const std::size_t labelLength = byte;
        if (length - pos - 1 < labelLength)
            return false;
        if (out) {
            const std::size_t room = capacity - used;
            const std::size_t take = labelLength < room ? labelLength : room;
            std::memcpy(out + used, d + pos + 1, take);
            used += take;
            if (used < capacity)
                out[used++] = '.';
        }
        pos += 1 + labelLength;
    }
    return false;
}

// Whether [dataOffset, dataOffset + dataLength) lies inside the datagram.
bool inside(std::size_t length, std::size_t dataOffset, std::size_t dataLength)
{
    return dataOffset <= length && dataLength <= length - dataOffset;
}

} // namespace

int buildMdnsQuery(const MdnsQuestion *questions, std::size_t count, void *buffer,
                   std::size_t capacity, std::uint16_t queryId, std::uint16_t rclass)
{
    if (!questions || count == 0 || !buffer || capacity < HeaderSize + 6 * count)
        return -1;
    auto *out = static_cast<std::uint8_t *>(buffer);
    write16(out, queryId);
    write16(out + 2, 0);
    write16(out + 4, std::uint16_t(count));
    write16(out + 6, 0);
    write16(out + 8, 0);
    write16(out + 10, 0);
    std::size_t pos = HeaderSize;
    for (std::size_t q = 0; q < count; ++q) {
        const char *name = questions[q].name;
        std::size_t nameLength = name ? questions[q].length : 0;
        if (nameLength > 0 && name[nameLength - 1] == '.')
            --nameLength;
        std::size_t start = 0;
        while (start < nameLength) {
            std::size_t end = start;
            while (end < nameLength && name[end] != '.')
                ++end;
            const std::size_t label = end - start;
            // An empty or over-long label cannot be encoded without changing the name's meaning.
            if (label == 0 || label > 63 || label + 1 >= capacity - pos)
                return -1;
            out[pos++] = std::uint8_t(label);
            std::memcpy(out + pos, name + start, label);
            pos += label;
            start = end + 1;
            if (end < nameLength && start == nameLength)
                return -1; // "a.." after the final dot was dropped
        }
        if (capacity - pos < 1 + 4)
            return -1;
        out[pos++] = 0;
        write16(out + pos, std::uint16_t(questions[q].type));
        write16(out + pos + 2, rclass);
        pos += 4;
    }
    return int(pos);
}

int sendMdnsQuery(int socket, const MdnsQuestion *questions, std::size_t count, void *buffer,
                  std::size_t capacity, std::uint16_t queryId)
{
    std::uint16_t rclass = 0x8001;
    sockaddr_storage local{};
    socklen_t localLength = sizeof(local);
    if (::getsockname(socket, reinterpret_cast<sockaddr *>(&local), &localLength) == 0) {
        if (local.ss_family == AF_INET
            && ntohs(reinterpret_cast<sockaddr_in *>(&local)->sin_port) == MdnsPort)
            rclass = 1;
        if (local.ss_family == AF_INET6
            && ntohs(reinterpret_cast<sockaddr_in6 *>(&local)->sin6_port) == MdnsPort)
            rclass = 1;
    }
    const int length = buildMdnsQuery(questions, count, buffer, capacity, queryId, rclass);
    if (length < 0)
        return -1;
    if (sendMdnsMulticast(socket, buffer, std::size_t(length)) < 0)
        return -1;
    return queryId;
}

int sendMdnsMulticast(int socket, const void *message, std::size_t length)
{
    sockaddr_storage local{};
    socklen_t localLength = sizeof(local);
    if (::getsockname(socket, reinterpret_cast<sockaddr *>(&local), &localLength) != 0)
        return -1;
    ssize_t sent;
    if (local.ss_family == AF_INET6) {
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(MdnsPort);
        to.sin6_addr.s6_addr[0] = 0xff;
        to.sin6_addr.s6_addr[1] = 0x02;
        to.sin6_addr.s6_addr[15] = 0xfb;
        sent = ::sendto(socket, message, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&to),
                        sizeof(to));
    } else {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(MdnsPort);
        to.sin_addr.s_addr = htonl(0xE00000FB); // 224.0.0.251
        sent = ::sendto(socket, message, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&to),
                        sizeof(to));
    }
    return sent < 0 ? -1 : 0;
}

long receiveMdnsDatagram(int socket, void *buffer, std::size_t capacity, sockaddr_storage *from,
                         socklen_t *fromLength, unsigned *interfaceIndex)
{
    iovec io{ buffer, capacity };
    alignas(cmsghdr) char control[256];
    msghdr message{};
    message.msg_name = from;
    message.msg_namelen = sizeof(sockaddr_storage);
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    // MSG_TRUNC makes the kernel report the datagram's real length.
    const ssize_t received = ::recvmsg(socket, &message, MSG_TRUNC | MSG_DONTWAIT);
    if (received <= 0 || std::size_t(received) > capacity || (message.msg_flags & MSG_TRUNC))
        return -1;
    if (fromLength)
        *fromLength = message.msg_namelen;
    if (interfaceIndex) {
        *interfaceIndex = 0;
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof(info));
                *interfaceIndex = unsigned(info.ipi_ifindex);
            } else if (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_PKTINFO) {
                in6_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof(info));
                *interfaceIndex = info.ipi6_ifindex;
            }
        }
    }
    return long(received);
}

std::size_t parseMdnsResponse(int socket, void *buffer, std::size_t capacity,
                              MdnsRecordHandler handler, void *context)
{
    sockaddr_storage from{};
    socklen_t fromLength = sizeof(from);
    const long length = receiveMdnsDatagram(socket, buffer, capacity, &from, &fromLength, nullptr);
    if (length <= 0)
        return 0;
    return parseMdnsDatagram(socket, reinterpret_cast<const sockaddr *>(&from), fromLength, buffer,
                             std::size_t(length), handler, context);
}

std::size_t parseMdnsDatagram(int socket, const sockaddr *from, socklen_t fromLength,
                              const void *datagram, std::size_t length, MdnsRecordHandler handler,
                              void *context)
{
    const auto *d = static_cast<const std::uint8_t *>(datagram);
    if (!d || length < HeaderSize)
        return 0;
    const std::uint16_t id = read16(d);
    const std::size_t questions = read16(d + 4);
    const std::size_t answers = read16(d + 6);
    const std::size_t authority = read16(d + 8);
    const std::size_t additional = read16(d + 10);
    std::size_t offset = HeaderSize;
    for (std::size_t i = 0; i < questions; ++i) {
        if (!skipName(d, length, offset))
            return 0;
        offset = length - offset < 4 ? length : offset + 4;
    }
    std::size_t handed = parseRecordSection(socket, from, fromLength, d, length, offset, MdnsAnswer,
                                            id, answers, handler, context);
    if (handed != answers)
        return handed;
    const std::size_t inAuthority
        = parseRecordSection(socket, from, fromLength, d, length, offset, MdnsAuthority, id,
                             authority, handler, context);
    handed += inAuthority;
    if (inAuthority != authority)
        return handed;
    return handed
        + parseRecordSection(socket, from, fromLength, d, length, offset, MdnsAdditional, id,
                             additional, handler, context);
}

std::size_t parseRecordSection(int socket, const sockaddr *from, socklen_t fromLength,
                               const std::uint8_t *datagram, std::size_t length,
                               std::size_t &offset, int section, std::uint16_t messageId,
                               std::size_t count, MdnsRecordHandler handler, void *context)
{
    std::size_t handed = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (offset > length)
            offset = length;
        const std::size_t nameOffset = offset;
        skipName(datagram, length, offset);
        const std::size_t nameLength = offset - nameOffset;
        if (length - offset < 10)
            break;
        const std::uint8_t *p = datagram + offset;
        MdnsRecordView record;
        record.socket = socket;
        record.from = from;
        record.fromLength = fromLength;
        record.section = section;
        record.messageId = messageId;
        record.type = read16(p);
        record.rclass = read16(p + 2);
        record.ttl = read32(p + 4);
        record.dataLength = read16(p + 8);
        offset += 10;
        // Data that runs past the datagram ends the section: skipping it would leave the offset
        // beyond the end, and what follows could not be trusted anyway.
        if (record.dataLength > length - offset) {
            offset = length;
            break;
        }
        record.data = datagram;
        record.size = length;
        record.nameOffset = nameOffset;
        record.nameLength = nameLength;
        record.dataOffset = offset;
        record.context = context;
        ++handed;
        offset += record.dataLength;
        if (handler && handler(record) != 0)
            break;
    }
    return handed;
}

bool skipName(const std::uint8_t *datagram, std::size_t length, std::size_t &offset)
{
    return walkName(datagram, length, offset, nullptr, 0, nullptr);
}

MdnsText extractName(const std::uint8_t *datagram, std::size_t length, std::size_t &offset,
                     char *buffer, std::size_t capacity)
{
    std::size_t written = 0;
    if (!buffer || !walkName(datagram, length, offset, buffer, capacity, &written))
        return { buffer, 0 };
    return { buffer, written };
}

MdnsText readPtrTarget(const std::uint8_t *datagram, std::size_t length, std::size_t dataOffset,
                       std::size_t dataLength, char *buffer, std::size_t capacity)
{
    if (!inside(length, dataOffset, dataLength) || dataLength < 2)
        return { buffer, 0 };
    std::size_t offset = dataOffset;
    return extractName(datagram, length, offset, buffer, capacity);
}

MdnsSrv readSrvRecord(const std::uint8_t *datagram, std::size_t length, std::size_t dataOffset,
                      std::size_t dataLength, char *buffer, std::size_t capacity)
{
    MdnsSrv srv;
    srv.target = { buffer, 0 };
    if (!inside(length, dataOffset, dataLength) || dataLength < 8)
        return srv;
    const std::uint8_t *p = datagram + dataOffset;
    srv.priority = read16(p);
    srv.weight = read16(p + 2);
    srv.port = read16(p + 4);
    std::size_t offset = dataOffset + 6;
    srv.target = extractName(datagram, length, offset, buffer, capacity);
    return srv;
}

std::size_t readTxtEntries(const std::uint8_t *datagram, std::size_t length, std::size_t dataOffset,
                           std::size_t dataLength, MdnsTxtEntry *entries)
{
    if (!entries || dataOffset >= length)
        return 0;
    const std::size_t end = dataLength < length - dataOffset ? dataOffset + dataLength : length;
    std::size_t taken = 0;
    std::size_t pos = dataOffset;
    while (pos < end && taken < MdnsMaxTxtEntries) {
        const std::size_t stringLength = datagram[pos];
        const std::size_t start = pos + 1;
        if (stringLength > end - start)
            break;
        pos = start + stringLength;
        std::size_t equals = 0;
        bool rejected = true;
        for (std::size_t i = 0; i < stringLength; ++i) {
            const std::uint8_t c = datagram[start + i];
            if (c == '=') {
                equals = i;
                rejected = i == 0;
                break;
            }
            if (c < 0x20 || c > 0x7E)
                break;
        }
        if (rejected)
            continue;
        entries[taken++] = { start, equals, start + equals + 1, stringLength - equals - 1 };
    }
    return taken;
}

} // namespace orvane::infra
