// Whether an archived name may be written below an output folder, and its
// components when it may.
#ifndef OV_TOOLS_MKSETUP_SAFE_NAMES_H
#define OV_TOOLS_MKSETUP_SAFE_NAMES_H

#include <string>
#include <vector>

// Splits `name` at its separators, dropping empty and "." components. False,
// with the reason in *why, for an empty, absolute or drive-letter name, a
// '..' component or a device name (CON, NUL, COM1...).
bool SplitSafeName(const std::wstring& name, std::vector<std::wstring>* parts, std::string* why);

#endif
