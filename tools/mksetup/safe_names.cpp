#include "tools/mksetup/safe_names.h"

#include "base/file_names.h"

bool SplitSafeName(const std::wstring& name, std::vector<std::wstring>* parts, std::string* why)
{
    if (name.empty()) {
        *why = "empty name";
        return false;
    }
    if (name[0] == L'\\' || name[0] == L'/') {
        *why = "absolute name";
        return false;
    }
    if (name.find(L':') != std::wstring::npos) {
        *why = "drive letter or stream name";
        return false;
    }
    parts->clear();
    std::wstring part;
    for (size_t i = 0; i <= name.size(); i++) {
        if (i == name.size() || name[i] == L'\\' || name[i] == L'/') {
            if (part == L"..") {
                *why = "'..' component";
                return false;
            }
            if (IsDeviceName(part.c_str(), part.size())) {
                *why = "a device name";
                return false;
            }
            if (!part.empty() && part != L".")
                parts->push_back(part);
            part.clear();
        } else {
            part.push_back(name[i]);
        }
    }
    if (parts->empty()) {
        *why = "empty name";
        return false;
    }
    return true;
}
