// Text as the tool handles it: std::string in UTF-8 for arguments and
// messages, std::wstring for names, built on the encodings of base/.
#ifndef OV_TOOLS_MKSETUP_TOOL_TEXT_H
#define OV_TOOLS_MKSETUP_TOOL_TEXT_H

#include <cstdint>
#include <string>

// Wide text as UTF-8; a lone surrogate is encoded as it stands.
std::string Utf8Of(const std::wstring& wide);
// UTF-8 as wide text; bytes that are no valid UTF-8 become U+FFFD.
std::wstring WideOf(const std::string& utf8);
// An entry name as stored (8-bit, ANSI code page) in UTF-8 for display.
std::string DisplayName(const char* ansiName);
// Text for a terminal: control characters (escape sequences among them)
// shown as \xNN, never sent as they are.
std::string Printable(const std::string& utf8);
// 'name' in UTF-8, for messages, as Printable shows it.
std::string Quote(const std::wstring& name);
// "1,234,567".
std::string Grouped(uint64_t n);

// Upper-cases the letters of Windows-1252 text held as wide characters, as
// the file systems of the target machines compare names.
std::wstring FoldCase(const std::wstring& text);

#endif
