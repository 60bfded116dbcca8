#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace logfile {

// Writes one column-major MATLAB array as a chunked, deflate-compressed HDF5 dataset (what MAT
// 7.3 holds): the chunks are compressed with libdeflate on several threads and handed to HDF5
// finished (H5Dwrite_chunk), which is where matio spends most of a conversion's time. Any HDF5
// reader decodes the chunks with its deflate filter.
struct MatArray
{
    std::string matlabClass; // "double", "uint8" ...
    std::int64_t hdf5Type = -1; // hid_t of the stored type (a native little-endian type)
    std::size_t elementBytes = 0;
    std::vector<std::size_t> dims; // MATLAB's order, the first varying fastest
    const std::uint8_t *data = nullptr; // product of dims x elementBytes bytes
};

// Replaces the object `name` in the group at `groupPath` of the open HDF5 file `file` (a hid_t)
// by `array`. Throws std::runtime_error "Could not write variable" on any HDF5 failure.
void writeDeflatedDataset(std::int64_t file, const std::string &groupPath, const char *name,
                          const MatArray &array, int level);

} // namespace logfile
