// File views and named blocks through CreateFileMapping and MapViewOfFile.
#include "file_mapping.h"
#include "whole_file.h"

#include <windows.h>

ReadOnlyFileMapping::~ReadOnlyFileMapping() { Close(); }

bool ReadOnlyFileMapping::Open(const WideString& path) {
    Close();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != FALSE;
    if (ok && size.QuadPart > 0) {
        // A mapping of an empty file fails; an empty file is simply size 0.
        HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (mapping) CloseHandle(mapping); // the view keeps the mapping alive
        ok = view != nullptr;
        if (ok) {
            data_ = static_cast<const unsigned char*>(view);
            size_ = static_cast<size_t>(size.QuadPart);
        }
    }
    CloseHandle(file);
    return ok;
}

void ReadOnlyFileMapping::Close() {
    if (data_) UnmapViewOfFile(data_);
    data_ = nullptr;
    size_ = 0;
}

WholeFileRead ReadWholeFile(const WideString& path, size_t limit, std::string& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return WholeFileRead::Failed;
    LARGE_INTEGER size{};
    WholeFileRead result = WholeFileRead::Failed;
    if (GetFileSizeEx(file, &size))
        result = ReadWholeFileWith(
            static_cast<uint64_t>(size.QuadPart), limit, text, [file](char* into, size_t count) {
                DWORD got = 0;
                const DWORD asked = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
                return ReadFile(file, into, asked, &got, nullptr) ? static_cast<int64_t>(got) : int64_t{-1};
            });
    CloseHandle(file);
    return result;
}

bool FileLastWriteLocalTime(const WideString& path, SYSTEMTIME* time, DWORD* error) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    FILETIME written{}, local{};
    bool ok = GetFileTime(file, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
              FileTimeToSystemTime(&local, time);
    *error = ok ? 0 : GetLastError();
    CloseHandle(file);
    return ok;
}

SharedMemory::~SharedMemory() { Close(); }

bool SharedMemory::MapHandle(void* handle, size_t size) {
    void* view = MapViewOfFile(handle, FILE_MAP_ALL_ACCESS, 0, 0, size);
    if (!view) return false;
    if (size == 0) {
        // An opened block is as large as its creator made it (in whole pages).
        MEMORY_BASIC_INFORMATION info{};
        VirtualQuery(view, &info, sizeof info);
        size = info.RegionSize;
    }
    handle_ = handle;
    data_ = static_cast<unsigned char*>(view);
    size_ = size;
    return true;
}

bool SharedMemory::Create(const WideString& name, size_t size, bool* alreadyExisted) {
    Close();
    if (name.empty() || size == 0) return false;
    const ULONGLONG bytes = size;
    HANDLE handle =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                           static_cast<DWORD>(bytes), name.c_str());
    if (!handle) return false;
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (alreadyExisted) *alreadyExisted = existed;
    if (!MapHandle(handle, existed ? 0 : size)) {
        CloseHandle(handle);
        return false;
    }
    return true;
}

bool SharedMemory::Open(const WideString& name) {
    Close();
    HANDLE handle = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!handle) return false;
    if (!MapHandle(handle, 0)) {
        CloseHandle(handle);
        return false;
    }
    return true;
}

// A named mapping is the same to every process.
bool SharedMemory::OpenShared(const WideString& name) { return Open(name); }

void SharedMemory::Close() {
    if (!handle_) return;
    UnmapViewOfFile(data_);
    CloseHandle(handle_);
    handle_ = nullptr;
    data_ = nullptr;
    size_ = 0;
}
