#pragma once

#include <stdexcept>
#include <string>

// The reader reports a file it cannot read by throwing; the conversion and the log entries catch
// and report. The message is the exception's text.
class FileFormatException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class UnknownMagic : public FileFormatException
{
public:
    using FileFormatException::FileFormatException;
};

class TypeConversionError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
