#include "logfile/DeflatedDataset.h"

#include <hdf5.h>
#include <libdeflate.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

namespace logfile {

namespace {

// About 1 MiB a chunk: large enough that the per-chunk costs vanish, small enough that a few
// signals keep every core busy.
constexpr std::size_t ChunkBytes = std::size_t(1) << 20;

[[noreturn]] void fail()
{
    throw std::runtime_error("Could not write variable");
}

struct Handle
{
    hid_t id;
    herr_t (*close)(hid_t);
    ~Handle()
    {
        if (id >= 0)
            close(id);
    }
};

struct Chunk
{
    std::vector<hsize_t> offset;
    std::vector<std::uint8_t> compressed;
};

} // namespace

void writeDeflatedDataset(std::int64_t file, const std::string &groupPath, const char *name,
                          const MatArray &array, int level)
{
    const std::size_t rank = array.dims.size();
    if (rank == 0 || array.elementBytes == 0)
        fail();
    const std::size_t rows = array.dims.front();
    std::size_t columns = 1;
    for (std::size_t d = 1; d < rank; ++d)
        columns *= array.dims[d];
    // One chunk spans one column (one element of every sample) and a run of rows: its bytes lie
    // together in the column-major buffer, so no chunk needs gathering.
    const std::size_t chunkRows
        = std::max<std::size_t>(1, std::min(rows, ChunkBytes / array.elementBytes));
    const std::size_t rowChunks = (rows + chunkRows - 1) / chunkRows;

    // HDF5 lists the dimensions slowest first: MATLAB's reversed.
    std::vector<hsize_t> shape(array.dims.rbegin(), array.dims.rend());
    std::vector<hsize_t> chunkShape(rank, 1);
    chunkShape.back() = chunkRows;

    Handle group{ H5Gopen2(hid_t(file), groupPath.c_str(), H5P_DEFAULT), H5Gclose };
    if (group.id < 0)
        fail();
    if (H5Lexists(group.id, name, H5P_DEFAULT) > 0 && H5Ldelete(group.id, name, H5P_DEFAULT) < 0)
        fail();
    Handle space{ H5Screate_simple(int(rank), shape.data(), nullptr), H5Sclose };
    Handle properties{ H5Pcreate(H5P_DATASET_CREATE), H5Pclose };
    if (space.id < 0 || properties.id < 0
        || H5Pset_chunk(properties.id, int(rank), chunkShape.data()) < 0
        || H5Pset_deflate(properties.id, unsigned(level)) < 0
        || H5Pset_fill_time(properties.id, H5D_FILL_TIME_NEVER) < 0)
        fail();
    Handle dataset{ H5Dcreate2(group.id, name, hid_t(array.hdf5Type), space.id, H5P_DEFAULT,
                               properties.id, H5P_DEFAULT),
                    H5Dclose };
    if (dataset.id < 0)
        fail();

    Handle stringType{ H5Tcopy(H5T_C_S1), H5Tclose };
    Handle scalar{ H5Screate(H5S_SCALAR), H5Sclose };
    if (stringType.id < 0 || scalar.id < 0
        || H5Tset_size(stringType.id, array.matlabClass.size()) < 0)
        fail();
    Handle attribute{ H5Acreate2(dataset.id, "MATLAB_class", stringType.id, scalar.id,
                                 H5P_DEFAULT, H5P_DEFAULT),
                      H5Aclose };
    if (attribute.id < 0 || H5Awrite(attribute.id, stringType.id, array.matlabClass.data()) < 0)
        fail();

    // Chunks are compressed on every core and written in order by this thread (HDF5 is not
    // thread-safe). The last chunk of a column is stored at full size, its tail zero.
    const std::size_t chunkCount = rowChunks * columns;
    const std::size_t chunkBytes = chunkRows * array.elementBytes;
    std::vector<Chunk> chunks(chunkCount);
    std::atomic<std::size_t> next{ 0 };
    std::atomic<bool> failed{ false };
    auto work = [&] {
        std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> compressor(
            libdeflate_alloc_compressor(level), libdeflate_free_compressor);
        if (!compressor) {
            failed = true;
            return;
        }
        std::vector<std::uint8_t> padded;
        for (std::size_t k = next++; k < chunkCount; k = next++) {
            const std::size_t column = k / rowChunks;
            const std::size_t firstRow = (k % rowChunks) * chunkRows;
            const std::size_t usedRows = std::min(chunkRows, rows - firstRow);
            const std::uint8_t *source
                = array.data + (column * rows + firstRow) * array.elementBytes;
            if (usedRows < chunkRows) {
                padded.assign(chunkBytes, 0);
                std::memcpy(padded.data(), source, usedRows * array.elementBytes);
                source = padded.data();
            }
            Chunk &chunk = chunks[k];
            chunk.compressed.resize(libdeflate_zlib_compress_bound(compressor.get(), chunkBytes));
            const std::size_t size = libdeflate_zlib_compress(
                compressor.get(), source, chunkBytes, chunk.compressed.data(),
                chunk.compressed.size());
            if (size == 0) {
                failed = true;
                return;
            }
            chunk.compressed.resize(size);
            // Offsets in elements, slowest dimension first: the column's index in each of
            // MATLAB's dimensions after the first, reversed, then the first row.
            chunk.offset.assign(rank, 0);
            std::size_t rest = column;
            for (std::size_t d = 1; d < rank; ++d) {
                chunk.offset[rank - 1 - d] = rest % array.dims[d];
                rest /= array.dims[d];
            }
            chunk.offset[rank - 1] = firstRow;
        }
    };
    // Threads pay off only for arrays of several chunks' worth; most signals of a short log are
    // far smaller than one.
    const std::size_t totalBytes = rows * columns * array.elementBytes;
    const std::size_t threads = totalBytes < 4 * ChunkBytes
        ? 1
        : std::min<std::size_t>(chunkCount, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (auto &thread : pool)
        thread.join();
    if (failed)
        fail();
    for (Chunk &chunk : chunks) {
        if (H5Dwrite_chunk(dataset.id, H5P_DEFAULT, 0, chunk.offset.data(),
                           chunk.compressed.size(), chunk.compressed.data())
            < 0)
            fail();
        std::vector<std::uint8_t>().swap(chunk.compressed);
    }
}

} // namespace logfile
