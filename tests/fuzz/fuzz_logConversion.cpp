// Any bytes as a device log, converted to a MAT 7.3 file in a temporary folder. A log the reader
// accepts either converts or fails with one of the conversion's own messages and leaves no file.
// A finding is anything else: a crash, a sanitizer report, another exception (such as a variable
// HDF5 refused, which matio only logs and the conversion then reports), a file left behind by a
// failure or missing after a success.
#include "logfile/LogFile.h"
#include "logfile/MatExport.h"

#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

std::string matPath;

void removeFolder()
{
    std::error_code error;
    std::filesystem::remove_all(std::filesystem::path(matPath).parent_path(), error);
}

bool isConversionMessage(const char *text)
{
    for (const char *known :
         { "Data is complex", "Unknown data type", "Dimension error", "Out of range",
           "Too many records" }) {
        if (std::strcmp(text, known) == 0)
            return true;
    }
    return false;
}

bool exists(const std::string &path)
{
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A warning per odd signal would drown the fuzzer's own output.
    QLoggingCategory::setFilterRules(QStringLiteral("Staging.LogConversion.warning=false\n"
                                                    "Staging.LogConversion.info=false"));
    const char *base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/fuzz_logConversion.XXXXXX";
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    matPath = folder + "/log.mat";
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::istringstream stream(std::string(reinterpret_cast<const char *>(data), size));
    bool converted = false;
    try {
        const logfile::LogFile file(stream);
        logfile::exportToMat(matPath, file, [](ConversionStage, float) { });
        converted = true;
    } catch (const FileFormatException &) {
    } catch (const std::ios_base::failure &) {
    } catch (const std::runtime_error &e) {
        if (!isConversionMessage(e.what())) {
            std::fprintf(stderr, "unexpected conversion failure: %s\n", e.what());
            __builtin_trap();
        }
    }
    if (converted != exists(matPath)) {
        std::fprintf(stderr, converted ? "converted without a file\n" : "failure left a file\n");
        __builtin_trap();
    }
    std::remove(matPath.c_str());
    return 0;
}
