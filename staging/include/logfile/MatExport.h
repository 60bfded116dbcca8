#pragma once

#include "ConversionStage.h"
#include "logfile/LogFile.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct matvar_t;

namespace logfile {

using ProgressCallback = std::function<void(ConversionStage stage, float progress)>;

// Thrown when the cancel flag was raised during a conversion.
class ConversionCancelled : public std::runtime_error
{
public:
    ConversionCancelled()
        : std::runtime_error("Conversion cancelled")
    { }
};

// Writes the log as a MAT 7.3 file: a "metadata" structure (when the log has metadata pairs) and
// one structure per signal with the fields name, block_name, label, startT, stopT, stepT,
// sampleTime, data and t. Variable and field names are made valid and unique (matVariableNames);
// every write is checked. Throws on failure (the reader's exceptions, std::runtime_error "Could
// not open file", ConversionCancelled, ...) and leaves no file behind then. `cancel` is read
// between records and between variables. Runs in any one thread; the callback is called there.
void exportToMat(const std::string &outputPath, const LogFile &file,
                 const ProgressCallback &progress, const std::atomic<bool> *cancel = nullptr);

// Turns `names` into valid MATLAB identifiers (letters, digits and "_", beginning with a letter,
// at most 63 characters) that are unique among themselves and against `taken`. A name that is
// valid and unique already keeps its spelling; others get "_" for every invalid character, an
// "x" in front where they do not begin with a letter, and "_2", "_3" ... where they collide.
std::vector<std::string> matVariableNames(const std::vector<std::string> &names,
                                          const std::vector<std::string> &taken = {});

// Reorders N samples whose elements follow each other with the first dimension fastest into one
// column-major array of dimensions {N, d1, ..., dD}. `dims` holds N first. Throws
// std::range_error "Dimension error" when a sample cannot hold all its elements
// (sampleSize < elementBytes * d1 * ... * dD, the product taken without wrapping) or the buffer
// holds fewer than N samples.
std::vector<std::uint8_t> toColumnMajor(const std::vector<std::uint8_t> &samples,
                                        const std::vector<std::size_t> &dims,
                                        std::size_t sampleSize, std::size_t elementBytes);

} // namespace logfile
