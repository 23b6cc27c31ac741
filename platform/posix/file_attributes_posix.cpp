// The read-only attribute as the file's write permission bits.
#include "file_attributes.h"

#include "text.h"

#include <sys/stat.h>

DWORD GetFileAttributesW(LPCWSTR path) {
    struct stat st {};
    if (!path || stat(Utf16ToUtf8(path).c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    if (!path) return FALSE;
    const std::string name = Utf16ToUtf8(path);
    struct stat st {};
    if (stat(name.c_str(), &st) != 0) return FALSE;
    mode_t mode = st.st_mode & 07777;
    mode =
        (attributes & FILE_ATTRIBUTE_READONLY) ? mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
    return chmod(name.c_str(), mode) == 0 ? TRUE : FALSE;
}
