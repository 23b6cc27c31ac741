// Read-only file mappings and named shared memory.
#pragma once

#include <varel/vts_platform.h>

#include "sync.h"
#include "tick.h"
#include "text.h"

#include <cstddef>
#include <string>

// A read-only view of a whole file. Empty files map to size 0, data null.
class ReadOnlyFileMapping {
public:
    ReadOnlyFileMapping() = default;
    ~ReadOnlyFileMapping();
    ReadOnlyFileMapping(const ReadOnlyFileMapping&) = delete;
    ReadOnlyFileMapping& operator=(const ReadOnlyFileMapping&) = delete;

    // false when the file cannot be opened or mapped.
    bool Open(const WideString& path);
    void Close();
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

enum class WholeFileRead { Read, TooLarge, Failed };
// Reads a whole file of at most limit bytes into text, whose room is kept
// from call to call. For a file read once through this costs less than a
// view, which on some machines pays a page fault for every few pages.
// Failed: the file cannot be opened or read; TooLarge: text is left as it is.
WholeFileRead ReadWholeFile(const WideString& path, size_t limit, std::string& text);

// The last write time of a file in local time; false with the system's
// error number (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ...) when the
// file cannot be opened for reading.
bool FileLastWriteLocalTime(const WideString& path, SYSTEMTIME* time, DWORD* error);

// A named block of shared memory (CreateFileMapping on the page file). The
// first Create makes it zero-filled; later Creates and Opens in this or
// another process see the same bytes. The name lives while a handle to it is open.
class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates (or opens, when it exists) the block with at least size bytes.
    // alreadyExisted tells which (ERROR_ALREADY_EXISTS).
    bool Create(const WideString& name, size_t size, bool* alreadyExisted = nullptr);
    // Opens an existing block; false when there is none.
    bool Open(const WideString& name);
    // Opens an existing block that a host made, whatever way it did: with
    // this class or the file-mapping functions of the public header, and on
    // Linux also as POSIX shared memory "/" + name of its own. The block
    // stays the host's: closing it here never removes it.
    bool OpenShared(const WideString& name);
    void Close();
    unsigned char* data() const { return data_; }
    // The bytes that can be read: on Linux the block's size, on Windows its
    // view, which is whole pages.
    size_t size() const { return size_; }

private:
    bool MapHandle(void* handle, size_t size);
    void* handle_ = nullptr;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};
