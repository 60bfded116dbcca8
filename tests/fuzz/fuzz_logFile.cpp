// Any bytes as a device log: open, read the metadata and the signal list, walk every record and
// convert every sample. The reader's own exceptions are the expected way out; anything else (a
// crash, a sanitizer report, another exception, a walk that does not end) is a finding.
#include "logfile/LogFile.h"
#include "logfile/LogSampleConversion.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::istringstream stream(std::string(reinterpret_cast<const char *>(data), size));
    try {
        const logfile::LogFile file(stream);
        std::size_t checksum = 0;
        if (file.metadata()) {
            for (const auto &[key, value] : *file.metadata())
                checksum += key.size() + value.size();
        }
        const logfile::DataSection &section = file.dataSection();
        const std::uint64_t size = section.size();
        for (auto it = section.begin(); it != section.end(); ++it) {
            const logfile::Record record = *it;
            if (record.bytesConsumed > size)
                __builtin_trap(); // the walk went further than the ring it walks
            for (const logfile::Sample &sample : record.samples) {
                try {
                    checksum += logfile::toDoubles(sample).values.size();
                } catch (const TypeConversionError &) { }
            }
        }
        // Keeps the conversions from being optimised away.
        static volatile std::size_t sink;
        sink = checksum;
    } catch (const FileFormatException &) {
    } catch (const std::ios_base::failure &) { }
    return 0;
}
