// The system's registry of COM classes, as the library's registration
// writes it: keys under the classes root of the machine or of the current
// user.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <vector>

// One line of a registration script: a key under the classes root and, when
// hasValue, one string value in it (the key's default value when name is empty).
struct RegistryLine {
    WideString key;
    WideString name;
    WideString value;
    bool hasValue;
};

// Makes every key of the lines and sets their values, in order; the first
// failure (the registry's HRESULT) ends it.
HRESULT RegistryWrite(bool perUser, const std::vector<RegistryLine>& lines);
// Removes key with everything below it; a key that is not there is no failure.
HRESULT RegistryRemoveTree(bool perUser, const WideString& key);

// Sets the calling thread's locale to the system's default for its lifetime,
// as registration wants it, and puts the thread's own back afterwards.
class SystemThreadLocale {
public:
    SystemThreadLocale();
    ~SystemThreadLocale();
    SystemThreadLocale(const SystemThreadLocale&) = delete;
    SystemThreadLocale& operator=(const SystemThreadLocale&) = delete;

private:
    LCID saved_;
};
