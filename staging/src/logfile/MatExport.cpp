#include "logfile/MatExport.h"

#include "logfile/DeflatedDataset.h"
#include "logfile/LogSampleConversion.h"

#include <QLoggingCategory>
#include <QString>

#include <hdf5.h>
#include <matio.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include <fcntl.h>

Q_LOGGING_CATEGORY(lcLogConversion, "Staging.LogConversion")

namespace logfile {

namespace {

constexpr std::size_t MaxNameLength = 63; // MATLAB's namelengthmax
const char *SignalFields[]
    = { "name", "block_name", "label", "startT", "stopT", "stepT", "sampleTime", "data", "t" };
constexpr std::size_t DataField = 7;
constexpr std::size_t TimeField = 8;
// HDF5 stores at most 32 dimensions (H5S_MAX_RANK); "data" has one more than its signal.
constexpr std::size_t MaxRank = 32;

// Sizes in a log come from a device or an import: a product that wrapped would make a small
// buffer look large enough for the elements it is then filled with.
std::size_t checkedProduct(std::size_t a, std::size_t b)
{
    std::size_t product = 0;
    if (__builtin_mul_overflow(a, b, &product))
        throw std::range_error("Dimension error");
    return product;
}

struct MatClass
{
    matio_classes matClass;
    matio_types type;
};

// The level of the data and times: on these arrays level 1 compresses about as well as 9 at a
// fraction of the time.
constexpr int DeflateLevel = 1;

const char *matlabClassName(matio_classes matClass)
{
    switch (matClass) {
    case MAT_C_DOUBLE: return "double";
    case MAT_C_SINGLE: return "single";
    case MAT_C_INT8: return "int8";
    case MAT_C_UINT8: return "uint8";
    case MAT_C_INT16: return "int16";
    case MAT_C_UINT16: return "uint16";
    case MAT_C_INT32: return "int32";
    case MAT_C_UINT32: return "uint32";
    default: return nullptr;
    }
}

hid_t hdf5TypeOf(matio_classes matClass)
{
    switch (matClass) {
    case MAT_C_DOUBLE: return H5T_NATIVE_DOUBLE;
    case MAT_C_SINGLE: return H5T_NATIVE_FLOAT;
    case MAT_C_INT8: return H5T_NATIVE_INT8;
    case MAT_C_UINT8: return H5T_NATIVE_UINT8;
    case MAT_C_INT16: return H5T_NATIVE_INT16;
    case MAT_C_UINT16: return H5T_NATIVE_UINT16;
    case MAT_C_INT32: return H5T_NATIVE_INT32;
    case MAT_C_UINT32: return H5T_NATIVE_UINT32;
    default: return -1;
    }
}

MatClass matClassOf(std::uint16_t typeId)
{
    static constexpr MatClass classes[] = {
        { MAT_C_DOUBLE, MAT_T_DOUBLE }, { MAT_C_SINGLE, MAT_T_SINGLE },
        { MAT_C_INT8, MAT_T_INT8 },     { MAT_C_UINT8, MAT_T_UINT8 },
        { MAT_C_INT16, MAT_T_INT16 },   { MAT_C_UINT16, MAT_T_UINT16 },
        { MAT_C_INT32, MAT_T_INT32 },   { MAT_C_UINT32, MAT_T_UINT32 },
        { MAT_C_UINT8, MAT_T_UINT8 }, // boolean
    };
    if (typeId < std::size(classes))
        return classes[typeId];
    return { MAT_C_OPAQUE, MAT_T_UNKNOWN };
}

struct MatVarFree
{
    void operator()(matvar_t *variable) const { Mat_VarFree(variable); }
};
using MatVarPtr = std::unique_ptr<matvar_t, MatVarFree>;

struct MatFileClose
{
    void operator()(mat_t *mat) const { Mat_Close(mat); }
};
using MatFilePtr = std::unique_ptr<mat_t, MatFileClose>;

// One signal on its way into the file. The data and times are handed to matio without a copy,
// so they live here until the structure has been written.
struct SignalVariable
{
    MatVarPtr structure;
    std::string variableName;
    std::vector<std::uint8_t> bytes;
    // The record of each sample, by number; the times are looked up when the structure is
    // written (half the memory of keeping a time per sample from the start).
    std::vector<std::uint32_t> records;
    std::vector<double> times;
    std::vector<std::uint8_t> data;
    // "data" and "t" are left empty in the structure matio writes and written afterwards in
    // place of its empty ones (writeDeflatedDataset).
    MatClass dataClass{ MAT_C_EMPTY, MAT_T_UNKNOWN };
    std::size_t elementBytes = 0;
    std::vector<std::size_t> dataDims;
};

// matio reports a field HDF5 refused only through its log, and still reports the structure as
// written: the log function marks the conversion running in its thread as failed.
thread_local bool matioReportedError = false;

void logMatio(int level, char *message)
{
    if (level & (MATIO_LOG_LEVEL_ERROR | MATIO_LOG_LEVEL_CRITICAL)) {
        matioReportedError = true;
        qCWarning(lcLogConversion).noquote() << "logconverter:" << message;
    } else {
        qCDebug(lcLogConversion).noquote() << "logconverter:" << message;
    }
}

// matio keeps its log and debug settings in globals: set them up once for the process, not per
// conversion (conversions may run in several threads at once).
void setUpMatio()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Mat_LogInitFunc("logconverter", logMatio);
        Mat_SetDebug(10);
    });
}

// A write counts only when matio reports success and logged no error on the way.
bool writeVariable(mat_t *mat, matvar_t *variable, matio_compression compression)
{
    matioReportedError = false;
    const bool written = Mat_VarWrite(mat, variable, compression) == 0;
    return written && !matioReportedError;
}

void checkCancel(const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw ConversionCancelled();
}

// MATLAB's char is UTF-16: the field's length is the text's length in UTF-16 code units, not in
// UTF-8 bytes.
matvar_t *textVariable(const std::string &text)
{
    const QString utf16 = QString::fromUtf8(text.data(), qsizetype(text.size()));
    std::size_t dims[2] = { 1, std::size_t(utf16.size()) };
    return Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT16, 2, dims,
                         const_cast<ushort *>(utf16.utf16()), 0);
}

matvar_t *scalarVariable(double value)
{
    std::size_t dims[1] = { 1 };
    return Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 1, dims, &value, 0);
}

void setField(matvar_t *structure, std::size_t index, matvar_t *field)
{
    if (!field)
        throw std::runtime_error("Could not create a variable");
    // The structure owns the field from here on; a field that was set before is replaced.
    MatVarPtr previous(Mat_VarSetStructFieldByIndex(structure, index, 0, field));
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isNameCharacter(char c)
{
    return isLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

bool isValidName(const std::string &name)
{
    return !name.empty() && name.size() <= MaxNameLength && isLetter(name.front())
        && std::all_of(name.begin(), name.end(), isNameCharacter);
}

std::string validSpelling(const std::string &name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (isNameCharacter(char(c))) {
            out.push_back(char(c));
            continue;
        }
        out.push_back('_');
        // One "_" for a whole UTF-8 sequence.
        if (c >= 0xC0) {
            while (i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80)
                ++i;
        }
    }
    if (out.empty() || !isLetter(out.front()))
        out.insert(out.begin(), 'x');
    if (out.size() > MaxNameLength)
        out.resize(MaxNameLength);
    return out;
}

matvar_t *metadataToMat(const Metadata &metadata)
{
    // Sorted, so the same log always gives the same file.
    std::vector<std::pair<std::string, std::string>> pairs(metadata.begin(), metadata.end());
    std::sort(pairs.begin(), pairs.end());
    std::vector<std::string> keys;
    for (const auto &pair : pairs)
        keys.push_back(pair.first);
    const std::vector<std::string> fieldNames = matVariableNames(keys);
    std::vector<const char *> fields;
    for (const auto &name : fieldNames)
        fields.push_back(name.c_str());
    std::size_t dims[1] = { 1 };
    MatVarPtr structure(
        Mat_VarCreateStruct("metadata", 1, dims, fields.data(), unsigned(fields.size())));
    if (!structure)
        throw std::runtime_error("Could not create a variable");
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (fieldNames[i] != pairs[i].first)
            qCInfo(lcLogConversion) << "metadata key" << pairs[i].first.c_str() << "written as"
                                    << fieldNames[i].c_str();
        setField(structure.get(), i, textVariable(pairs[i].second));
    }
    return structure.release();
}

matvar_t *signalToMat(const Signal &signal, const std::string &variableName)
{
    std::size_t dims[1] = { 1 };
    MatVarPtr structure(Mat_VarCreateStruct(variableName.c_str(), 1, dims, SignalFields,
                                            unsigned(std::size(SignalFields))));
    if (!structure)
        throw std::runtime_error("Could not create a variable");
    setField(structure.get(), 0, textVariable(signal.name));
    setField(structure.get(), 1, textVariable(signal.block_name));
    setField(structure.get(), 2, textVariable(signal.label));
    setField(structure.get(), 3, scalarVariable(signal.startT));
    setField(structure.get(), 4, scalarVariable(signal.stopT));
    setField(structure.get(), 5, scalarVariable(signal.stepT));
    setField(structure.get(), 6, scalarVariable(signal.sampleTime));
    return structure.release();
}

// The field "t" of a signal with samples: the time of each sample's record.
void addTime(SignalVariable &variable, const std::vector<double> &recordTimes)
{
    if (variable.records.empty())
        return;
    variable.times.resize(variable.records.size());
    for (std::size_t k = 0; k < variable.records.size(); ++k)
        variable.times[k] = recordTimes[variable.records[k]];
    std::vector<std::uint32_t>().swap(variable.records);
}

// The field "data"; "t" follows when the structure is written (addTime).
void addDataAndTime(SignalVariable &variable, const Signal &signal)
{
    if (variable.bytes.empty() || signal.sampleSize <= 0)
        return;
    const std::size_t sampleSize = std::size_t(signal.sampleSize);
    const std::size_t count = variable.bytes.size() / sampleSize;
    const MatClass matClass = matClassOf(signal.typeId);
    const std::size_t elementBytes
        = matClass.matClass == MAT_C_OPAQUE ? 0 : Mat_SizeOf(matClass.type);
    if (elementBytes == 0) {
        qCWarning(lcLogConversion) << "signal" << signal.name.c_str() << "has the unknown type id"
                                   << signal.typeId << "- its data are left empty";
        return;
    }
    std::vector<std::size_t> dims{ count };
    std::size_t elements = 1;
    for (auto d : signal.dims) {
        dims.push_back(d);
        elements = checkedProduct(elements, d);
    }
    if (sampleSize < checkedProduct(elementBytes, elements)) {
        qCWarning(lcLogConversion) << "signal" << signal.name.c_str() << "has samples of"
                                   << sampleSize << "bytes, too small for its dimensions"
                                   << "- its data are left empty";
        return;
    }
    // What matio and HDF5 compute from the dimensions must fit as well.
    checkedProduct(checkedProduct(count, elements), elementBytes);
    // HDF5 would refuse the field while matio still reports the structure as written.
    if (dims.size() > MaxRank) {
        qCWarning(lcLogConversion) << "signal" << signal.name.c_str() << "has" << signal.dims.size()
                                   << "dimensions, more than a MAT file holds";
        throw std::range_error("Dimension error");
    }
    // Samples of one element each are in column-major order already.
    if (elements == 1 && sampleSize == elementBytes)
        variable.data = std::move(variable.bytes);
    else
        variable.data = toColumnMajor(variable.bytes, dims, sampleSize, elementBytes);
    variable.dataClass = matClass;
    variable.elementBytes = elementBytes;
    variable.dataDims = std::move(dims);
}

// Replaces the empty "data" and "t" matio wrote by the signal's arrays.
void writeArrays(hid_t file, const SignalVariable &variable)
{
    const std::string group = "/" + variable.variableName;
    if (!variable.times.empty()) {
        MatArray times{ "double", H5T_NATIVE_DOUBLE, sizeof(double), { variable.times.size() },
                        reinterpret_cast<const std::uint8_t *>(variable.times.data()) };
        writeDeflatedDataset(file, group, SignalFields[TimeField], times, DeflateLevel);
    }
    if (!variable.data.empty() && !variable.dataDims.empty()) {
        MatArray data{ matlabClassName(variable.dataClass.matClass),
                       hdf5TypeOf(variable.dataClass.matClass), variable.elementBytes,
                       variable.dataDims, variable.data.data() };
        writeDeflatedDataset(file, group, SignalFields[DataField], data, DeflateLevel);
    }
}

float share(std::size_t i, std::size_t n)
{
    return n > 1 ? float(i) / float(n - 1) : 1.0f;
}

void convert(mat_t *mat, hid_t h5file, const LogFile &file, const ProgressCallback &progress,
             const std::atomic<bool> *cancel)
{
    const SignalList &signalList = *file.signalList();
    const bool withMetadata = file.metadata() && !file.metadata()->empty();
    if (withMetadata) {
        MatVarPtr metadata(metadataToMat(*file.metadata()));
        if (!writeVariable(mat, metadata.get(), MAT_COMPRESSION_NONE))
            throw std::runtime_error("Could not write variable \"metadata\"");
    }
    progress(ConversionSetUp, 0.5f);

    std::vector<std::string> names;
    for (const Signal &signal : signalList)
        names.push_back(signal.name);
    const std::vector<std::string> variableNames = matVariableNames(
        names, withMetadata ? std::vector<std::string>{ "metadata" } : std::vector<std::string>{});
    std::vector<SignalVariable> variables(signalList.size());
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        if (variableNames[i] != signalList[i].name)
            qCInfo(lcLogConversion) << "signal" << signalList[i].name.c_str() << "written as"
                                    << variableNames[i].c_str();
        variables[i].variableName = variableNames[i];
        variables[i].structure.reset(signalToMat(signalList[i], variableNames[i]));
    }
    progress(ConversionSetUp, 1.0f);
    progress(ConversionReadingRecords, 0.0f);

    const DataSection &section = file.dataSection();
    // Counting first lets every buffer be allocated once at its final size: a growing buffer
    // holds its old and new copy for a moment and copies everything gathered so far, which for
    // a large log costs more time and memory than this extra walk.
    std::vector<std::size_t> counts(signalList.size(), 0);
    std::size_t counter = 0;
    for (auto it = section.begin(); it != section.end(); ++it) {
        if ((++counter & 0x3FF) == 0)
            checkCancel(cancel);
        const Record record = *it;
        for (const Sample &sample : record.samples)
            ++counts[std::size_t(sample.signal->index)];
    }
    if (counter > std::numeric_limits<std::uint32_t>::max())
        throw std::runtime_error("Too many records");
    for (std::size_t i = 0; i < signalList.size(); ++i) {
        variables[i].bytes.reserve(counts[i] * std::size_t(signalList[i].sampleSize));
        variables[i].records.reserve(counts[i]);
    }
    std::vector<double> recordTimes;
    recordTimes.reserve(counter);

    const double size = double(section.size());
    float lastReported = 0;
    counter = 0;
    for (auto it = section.begin(); it != section.end(); ++it) {
        if ((++counter & 0x3FF) == 0)
            checkCancel(cancel);
        const Record record = *it;
        double time = std::numeric_limits<double>::quiet_NaN();
        if (record.timeIndex >= 0) {
            const SampleArray timeSample = toDoubles(record.samples[std::size_t(record.timeIndex)]);
            if (timeSample.dims.empty())
                throw std::range_error("Dimension error");
            // A sample too small for one element has no value to take.
            if (timeSample.dims.front() == 0 || timeSample.values.empty())
                throw std::range_error("Out of range");
            time = timeSample.values.front();
        }
        const auto recordNumber = std::uint32_t(recordTimes.size());
        recordTimes.push_back(time);
        for (const Sample &sample : record.samples) {
            SignalVariable &variable = variables[std::size_t(sample.signal->index)];
            variable.records.push_back(recordNumber);
            const auto bytes = sample.bytes();
            variable.bytes.insert(variable.bytes.end(), bytes.begin(), bytes.end());
        }
        const float fraction = size > 0 ? float(double(record.bytesConsumed) / size) : 1.0f;
        if (fraction - lastReported > 0.01f) {
            progress(ConversionReadingRecords, fraction);
            lastReported = fraction;
        }
    }
    progress(ConversionReadingRecords, 1.0f);
    progress(ConversionBuildingVariables, 0.0f);

    const std::size_t n = signalList.size();
    for (std::size_t i = 0; i < n; ++i) {
        checkCancel(cancel);
        addDataAndTime(variables[i], signalList[i]);
        std::vector<std::uint8_t>().swap(variables[i].bytes);
        progress(ConversionBuildingVariables, share(i, n));
    }
    progress(ConversionBuildingVariables, 1.0f);
    progress(ConversionWritingVariables, 0.0f);

    for (std::size_t i = 0; i < n; ++i) {
        checkCancel(cancel);
        SignalVariable &variable = variables[i];
        addTime(variable, recordTimes);
        if (!writeVariable(mat, variable.structure.get(), MAT_COMPRESSION_ZLIB))
            throw std::runtime_error("Could not write variable \"" + variable.variableName + "\"");
        try {
            writeArrays(h5file, variable);
        } catch (const std::runtime_error &) {
            throw std::runtime_error("Could not write variable \"" + variable.variableName + "\"");
        }
        // Written: give the memory back before the next one.
        variable = SignalVariable();
        progress(ConversionWritingVariables, share(i, n));
    }
}

} // namespace

std::vector<std::string> matVariableNames(const std::vector<std::string> &names,
                                          const std::vector<std::string> &taken)
{
    std::set<std::string> used(taken.begin(), taken.end());
    std::vector<std::string> result(names.size());
    std::vector<bool> done(names.size(), false);
    // Valid names keep their spelling; only the first of equal names can.
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (isValidName(names[i]) && used.insert(names[i]).second) {
            result[i] = names[i];
            done[i] = true;
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (done[i])
            continue;
        const std::string base = validSpelling(names[i]);
        std::string candidate = base;
        for (int k = 2; used.count(candidate); ++k) {
            // Appended, not "_" + ...: GCC 12 warns falsely (-Wrestrict) on that form.
            std::string suffix(1, '_');
            suffix += std::to_string(k);
            candidate = base.substr(0, MaxNameLength - suffix.size()) + suffix;
        }
        used.insert(candidate);
        result[i] = candidate;
    }
    return result;
}

std::vector<std::uint8_t> toColumnMajor(const std::vector<std::uint8_t> &samples,
                                        const std::vector<std::size_t> &dims,
                                        std::size_t sampleSize, std::size_t elementBytes)
{
    std::vector<std::uint8_t> out(samples.size(), 0);
    if (dims.empty() || elementBytes == 0)
        return out;
    const std::size_t count = dims.front();
    std::size_t elements = 1;
    for (std::size_t d = 1; d < dims.size(); ++d)
        elements = checkedProduct(elements, dims[d]);
    // Every element read and written must lie inside both buffers.
    if (checkedProduct(elements, elementBytes) > sampleSize
        || checkedProduct(count, sampleSize) > samples.size())
        throw std::range_error("Dimension error");
    // Element j of a sample (its dimensions flattened first-fastest) goes to column j of the
    // N-row result: position n + N * j.
    for (std::size_t j = 0; j < elements; ++j) {
        const std::uint8_t *source = samples.data() + j * elementBytes;
        std::uint8_t *target = out.data() + count * j * elementBytes;
        for (std::size_t n = 0; n < count; ++n) {
            std::memcpy(target + n * elementBytes, source + n * sampleSize, elementBytes);
        }
    }
    return out;
}

// HDF5 opens the file without close-on-exec: a program the user starts while a conversion runs
// (a viewer, the terminal of a discovered robot ...) would inherit it and keep the half-written
// file open after we close it. The file is marked right after it was created.
static void keepFromChildProcesses(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(path, error);
    if (error)
        return;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const std::filesystem::path link = std::filesystem::read_symlink(entry.path(), linkError);
        if (linkError || link != target)
            continue;
        char *end = nullptr;
        const std::string name = entry.path().filename().string();
        const long fd = std::strtol(name.c_str(), &end, 10);
        if (end == name.c_str() || *end != '\0')
            continue;
        const int flags = fcntl(static_cast<int>(fd), F_GETFD);
        if (flags >= 0)
            fcntl(static_cast<int>(fd), F_SETFD, flags | FD_CLOEXEC);
    }
}

void exportToMat(const std::string &outputPath, const LogFile &file,
                 const ProgressCallback &progress, const std::atomic<bool> *cancel)
{
    setUpMatio();
    progress(ConversionSetUp, 0.0f);
    MatFilePtr mat(Mat_CreateVer(outputPath.c_str(), nullptr, MAT_FT_MAT73));
    if (!mat)
        throw std::runtime_error("Could not open file");
    // A second handle on the file matio holds open (HDF5 shares one file between them): the
    // arrays are written through it.
    hid_t h5file = H5Fopen(outputPath.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
    keepFromChildProcesses(outputPath);
    try {
        if (h5file < 0)
            throw std::runtime_error("Could not open file");
        convert(mat.get(), h5file, file, progress, cancel);
        const herr_t closed = H5Fclose(std::exchange(h5file, -1));
        if (closed < 0)
            throw std::runtime_error("Could not write file");
    } catch (...) {
        if (h5file >= 0)
            H5Fclose(h5file);
        mat.reset();
        std::remove(outputPath.c_str());
        throw;
    }
    if (Mat_Close(mat.release()) != 0) {
        std::remove(outputPath.c_str());
        throw std::runtime_error("Could not write file");
    }
    progress(ConversionWritingVariables, 1.0f);
}

} // namespace logfile
