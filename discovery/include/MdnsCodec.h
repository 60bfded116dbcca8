#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

// The message layer of robot discovery: builds the multicast DNS question, sends it to the mDNS
// group, reads one datagram and walks its resource records, decodes compressed names and reads
// the data of PTR, SRV and TXT records.
//
// Stateless functions over a socket and caller-provided buffers; nothing here allocates. The
// datagram walk (parseMdnsDatagram and below) needs no socket at all, so it can be fed from a
// test or a fuzzer. Every failure is a result, never an exception. Offsets are checked against
// the datagram's length with size_t arithmetic: no offset ever passes the end of the datagram.
namespace orvane::infra {

struct MdnsQuestion
{
    std::uint32_t type = 0;
    const char *name = nullptr;
    std::size_t length = 0;
};

enum MdnsSection { MdnsAnswer = 1, MdnsAuthority = 2, MdnsAdditional = 3 };

// One resource record as handed to the record handler; valid only during the call.
struct MdnsRecordView
{
    int socket = -1;
    const sockaddr *from = nullptr;
    socklen_t fromLength = 0;
    int section = 0;
    std::uint16_t messageId = 0;
    std::uint16_t type = 0;
    std::uint16_t rclass = 0;
    std::uint32_t ttl = 0;
    const std::uint8_t *data = nullptr; // the whole datagram
    std::size_t size = 0;
    std::size_t nameOffset = 0;
    std::size_t nameLength = 0;
    std::size_t dataOffset = 0;
    std::size_t dataLength = 0;
    void *context = nullptr;
};

// Returns non-zero to end the walk of the current section.
using MdnsRecordHandler = int (*)(const MdnsRecordView &record);

// A text written into a caller's name buffer (not NUL-terminated).
struct MdnsText
{
    const char *str = nullptr;
    std::size_t length = 0;
};

struct MdnsSrv
{
    std::uint16_t priority = 0;
    std::uint16_t weight = 0;
    std::uint16_t port = 0;
    MdnsText target;
};

// Key and value as slices of the datagram.
struct MdnsTxtEntry
{
    std::size_t keyOffset = 0;
    std::size_t keyLength = 0;
    std::size_t valueOffset = 0;
    std::size_t valueLength = 0;
};

constexpr std::size_t MdnsMaxTxtEntries = 128;
constexpr std::uint16_t MdnsPort = 5353;

// Writes the question message into `buffer`; its length, or -1 when it does not fit or no
// question is given. `rclass` is 1 (IN) for a socket on port 5353, else 0x8001.
int buildMdnsQuery(const MdnsQuestion *questions, std::size_t count, void *buffer,
                   std::size_t capacity, std::uint16_t queryId, std::uint16_t rclass);
// The query id on success, -1 on failure.
int sendMdnsQuery(int socket, const MdnsQuestion *questions, std::size_t count, void *buffer,
                  std::size_t capacity, std::uint16_t queryId);
// 0 on success, -1 on failure.
int sendMdnsMulticast(int socket, const void *message, std::size_t length);

// Receives one datagram. Returns its length, or -1 when nothing was read or the datagram was
// longer than `capacity` (it is discarded whole, never walked cut off). `interfaceIndex`, when
// given, receives the index of the interface it arrived on (0 when the socket does not report
// packet information).
long receiveMdnsDatagram(int socket, void *buffer, std::size_t capacity, sockaddr_storage *from,
                         socklen_t *fromLength, unsigned *interfaceIndex);
// Receives and walks one datagram; the number of records handed to the handler.
std::size_t parseMdnsResponse(int socket, void *buffer, std::size_t capacity,
                              MdnsRecordHandler handler, void *context);
// Walks one datagram already received.
std::size_t parseMdnsDatagram(int socket, const sockaddr *from, socklen_t fromLength,
                              const void *datagram, std::size_t length, MdnsRecordHandler handler,
                              void *context);
std::size_t parseRecordSection(int socket, const sockaddr *from, socklen_t fromLength,
                               const std::uint8_t *datagram, std::size_t length,
                               std::size_t &offset, int section, std::uint16_t messageId,
                               std::size_t count, MdnsRecordHandler handler, void *context);

bool skipName(const std::uint8_t *datagram, std::size_t length, std::size_t &offset);
MdnsText extractName(const std::uint8_t *datagram, std::size_t length, std::size_t &offset,
                     char *buffer, std::size_t capacity);
MdnsText readPtrTarget(const std::uint8_t *datagram, std::size_t length, std::size_t dataOffset,
                       std::size_t dataLength, char *buffer, std::size_t capacity);
MdnsSrv readSrvRecord(const std::uint8_t *datagram, std::size_t length, std::size_t dataOffset,
                      std::size_t dataLength, char *buffer, std::size_t capacity);
// Fills at most MdnsMaxTxtEntries entries; the number taken.
std::size_t readTxtEntries(const std::uint8_t *datagram, std::size_t length, std::size_t dataOffset,
                           std::size_t dataLength, MdnsTxtEntry *entries);

} // namespace orvane::infra
