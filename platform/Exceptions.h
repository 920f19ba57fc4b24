// The exception classes of the program. Every error the engine raises is an
// Exception carrying a message; the application counts or shows them by that
// common type.
#pragma once

#include <exception>
#include <filesystem>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string Message) : FMessage(std::move(Message)) {}
    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// Byte stream errors.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("Stream read error") {}
};

class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("Stream write error") {}
};

// A file that cannot be opened or created. The message names the expanded
// full path and the system's reason.
class EFileStreamError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

class EFOpenError : public EFileStreamError {
public:
    EFOpenError(const std::filesystem::path& FileName, const std::string& Reason);
};

class EFCreateError : public EFileStreamError {
public:
    EFCreateError(const std::filesystem::path& FileName, const std::string& Reason);
};

// Graphics-format errors.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

class EInvalidJPEGHeader : public EInvalidGraphic {
public:
    EInvalidJPEGHeader() : EInvalidGraphic("JPEG header is not valid") {}
};

// A memory block that cannot grow. Raised instead of std::bad_alloc so that a
// file too large for memory is an ordinary, countable error.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
};
