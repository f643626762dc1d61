#include "tools/mksetup/pe_image.h"

#include <algorithm>
#include <cstring>

namespace {

// Field offsets in the COFF header (behind "PE\0\0"), the optional header
// and a section table entry.
enum : size_t {
    kCoffSections = 2,
    kCoffSymbolTable = 8,
    kCoffOptionalSize = 16,
    kCoffSize = 20,
    kOptInitializedData = 8,
    kOptSectionAlignment = 32,
    kOptFileAlignment = 36,
    kOptImageSize = 56,
    kOptChecksum = 64,
    kSectionEntrySize = 40,
    kSectionVirtualSize = 8,
    kSectionVirtualAddress = 12,
    kSectionRawSize = 16,
    kSectionRawOffset = 20,
    kSectionCharacteristics = 36,
};

const uint32_t kInitializedData = 0x40; // section characteristic

bool PowerOfTwo(uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

uint64_t AlignUp(uint64_t v, uint32_t alignment)
{
    return (v + alignment - 1) / alignment * alignment;
}

// The size a section takes in memory.
uint32_t MappedSize(const PeSection& s)
{
    return s.virtualSize ? s.virtualSize : s.rawSize;
}

bool Fail(std::string* error, const std::string& why)
{
    *error = why;
    return false;
}

// Base relocations mark the places where the image holds an address; none
// may point at or behind `limit`, which is about to move or change.
bool RelocationsStayBelow(const std::vector<uint8_t>& file, const PeLayout& layout, uint32_t limit, std::string* error)
{
    if (layout.directories.size() <= kDirectoryRelocations || layout.directories[kDirectoryRelocations].rva == 0)
        return true;
    PeDirectory table = layout.directories[kDirectoryRelocations];
    for (const PeSection& s : layout.sections) {
        if (table.rva < s.virtualAddress || uint64_t(table.rva) + table.size > uint64_t(s.virtualAddress) + s.rawSize)
            continue;
        const uint8_t* p = file.data() + s.rawOffset + (table.rva - s.virtualAddress);
        for (uint32_t at = 0; at + 8 <= table.size;) {
            uint32_t page = Le32(p + at), blockSize = Le32(p + at + 4);
            if (blockSize < 8 || blockSize > table.size - at)
                return Fail(error, "its relocation table is damaged");
            for (uint32_t e = at + 8; e + 2 <= at + blockSize; e += 2) {
                uint32_t entry = Le16(p + e);
                if ((entry >> 12) != 0 && uint64_t(page) + (entry & 0xFFF) >= limit)
                    return Fail(error, "its code holds an address in or behind the resource section");
            }
            at += blockSize;
        }
        return true;
    }
    return Fail(error, "its relocation table lies outside the stored sections");
}

} // namespace

bool ReadPeLayout(const std::vector<uint8_t>& file, PeLayout* layout, std::string* error)
{
    const uint8_t* d = file.data();
    if (file.size() < 64 || d[0] != 'M' || d[1] != 'Z')
        return Fail(error, "not a Windows program (no MZ header)");
    uint64_t pe = Le32(d + 0x3C);
    if (pe + 4 + kCoffSize > file.size() || Le32(d + pe) != 0x00004550)
        return Fail(error, "not a Windows program (no PE header)");
    const uint8_t* coff = d + pe + 4;
    size_t opt = size_t(pe) + 4 + kCoffSize, optSize = Le16(coff + kCoffOptionalSize);
    uint32_t magic = opt + 2 <= file.size() ? Le16(d + opt) : 0;
    if (magic != 0x10B && magic != 0x20B)
        return Fail(error, "not a PE32 or PE32+ image");
    layout->pe32Plus = magic == 0x20B;
    size_t countField = layout->pe32Plus ? 108 : 92;
    if (optSize < countField + 4 || opt + optSize > file.size())
        return Fail(error, "its optional header is cut short");
    layout->optionalHeader = opt;
    layout->checksumField = opt + kOptChecksum;
    layout->directoryTable = opt + countField + 4;
    layout->sectionAlignment = Le32(d + opt + kOptSectionAlignment);
    layout->fileAlignment = Le32(d + opt + kOptFileAlignment);
    layout->symbolTable = Le32(coff + kCoffSymbolTable);
    if (!PowerOfTwo(layout->fileAlignment) || !PowerOfTwo(layout->sectionAlignment) ||
        layout->sectionAlignment < layout->fileAlignment)
        return Fail(error, "its section and file alignments are not powers of two, the first at least the second");
    uint32_t count = Le32(d + opt + countField);
    if (count > (optSize - countField - 4) / 8)
        return Fail(error, "its data directory runs past the optional header");
    layout->directories.clear();
    for (uint32_t i = 0; i < count; i++)
        layout->directories.push_back(
            {Le32(d + layout->directoryTable + 8 * i), Le32(d + layout->directoryTable + 8 * i + 4)});
    size_t table = opt + optSize, sections = Le16(coff + kCoffSections);
    if (table + sections * kSectionEntrySize > file.size())
        return Fail(error, "its section table is cut short");
    layout->sections.clear();
    for (size_t i = 0; i < sections; i++) {
        const uint8_t* e = d + table + i * kSectionEntrySize;
        PeSection s;
        s.name.assign(reinterpret_cast<const char*>(e), strnlen(reinterpret_cast<const char*>(e), 8));
        s.virtualSize = Le32(e + kSectionVirtualSize);
        s.virtualAddress = Le32(e + kSectionVirtualAddress);
        s.rawSize = Le32(e + kSectionRawSize);
        s.rawOffset = Le32(e + kSectionRawOffset);
        s.characteristics = Le32(e + kSectionCharacteristics);
        s.header = table + i * kSectionEntrySize;
        if (s.rawSize && uint64_t(s.rawOffset) + s.rawSize > file.size())
            return Fail(error, "section " + s.name + " runs past the end of the file");
        if (i &&
            s.virtualAddress < uint64_t(layout->sections.back().virtualAddress) + MappedSize(layout->sections.back()))
            return Fail(error, "its sections overlap or are out of address order");
        layout->sections.push_back(s);
    }
    return true;
}

int ResourceSectionIndex(const PeLayout& layout, std::string* error)
{
    if (layout.directories.size() <= kDirectoryResources || layout.directories[kDirectoryResources].rva == 0) {
        *error = "it has no resources";
        return -1;
    }
    uint32_t rva = layout.directories[kDirectoryResources].rva;
    for (size_t i = 0; i < layout.sections.size(); i++)
        if (layout.sections[i].virtualAddress == rva && layout.sections[i].rawSize)
            return int(i);
    *error = "its resource directory does not begin a section";
    return -1;
}

std::vector<uint8_t> SectionBytes(const std::vector<uint8_t>& file, const PeSection& section)
{
    auto first = file.begin() + section.rawOffset;
    return std::vector<uint8_t>(first, first + std::min(section.rawSize, MappedSize(section)));
}

bool ReplaceResourceSection(std::vector<uint8_t>* file, const std::vector<uint8_t>& resources, std::string* error)
{
    PeLayout layout;
    if (!ReadPeLayout(*file, &layout, error))
        return false;
    int index = ResourceSectionIndex(layout, error);
    if (index < 0)
        return false;
    const std::vector<PeSection>& sections = layout.sections;
    const PeSection& rsrc = sections[size_t(index)];
    const std::vector<PeDirectory>& dirs = layout.directories;
    if (layout.symbolTable)
        return Fail(error, "it carries a symbol table; strip it first");
    if (dirs.size() > kDirectorySecurity && dirs[kDirectorySecurity].size)
        return Fail(error, "it is signed; sign the finished setup instead");
    uint32_t relocations = dirs.size() > kDirectoryRelocations ? dirs[kDirectoryRelocations].rva : 0;
    uint64_t storedEnd = 0;
    bool relocationsBehind = false;
    for (size_t i = 0; i < sections.size(); i++) {
        const PeSection& s = sections[i];
        if (i > size_t(index) && s.virtualAddress != relocations)
            return Fail(error, "section " + s.name + " follows the resources and cannot be moved");
        relocationsBehind = relocationsBehind || i > size_t(index);
        bool stored = s.rawSize != 0;
        if (stored && i < size_t(index) && s.rawOffset + s.rawSize > rsrc.rawOffset)
            return Fail(error, "its sections are not stored in address order");
        if (stored && i > size_t(index) && s.rawOffset < rsrc.rawOffset + rsrc.rawSize)
            return Fail(error, "its sections are not stored in address order");
        if (stored)
            storedEnd = std::max<uint64_t>(storedEnd, s.rawOffset + s.rawSize);
    }
    if (relocations >= rsrc.virtualAddress && !relocationsBehind)
        return Fail(error, "its relocations share the resource section");
    if (file->size() > storedEnd)
        return Fail(error, "it carries " + std::to_string(file->size() - storedEnd) + " bytes behind its sections");
    for (size_t i = 0; i < dirs.size(); i++) {
        bool moves = uint64_t(dirs[i].rva) + dirs[i].size > rsrc.virtualAddress;
        if (dirs[i].rva && moves && i != kDirectoryResources && i != kDirectoryRelocations && i != kDirectorySecurity)
            return Fail(error, "data directory " + std::to_string(i) + " lies in or behind the resource section");
    }
    if (!RelocationsStayBelow(*file, layout, rsrc.virtualAddress, error))
        return false;

    // The sections behind keep their distances to each other.
    uint64_t newRaw = AlignUp(resources.size(), layout.fileAlignment);
    int64_t rawShift = int64_t(newRaw) - int64_t(rsrc.rawSize);
    int64_t virtualShift = 0;
    if (size_t(index) + 1 < sections.size())
        virtualShift = int64_t(AlignUp(resources.size(), layout.sectionAlignment)) -
                       int64_t(sections[size_t(index) + 1].virtualAddress - rsrc.virtualAddress);
    const PeSection& last = sections.back();
    uint64_t imageEnd =
        AlignUp(size_t(index) + 1 == sections.size() ? uint64_t(rsrc.virtualAddress) + resources.size()
                                                     : uint64_t(last.virtualAddress + virtualShift) + MappedSize(last),
                layout.sectionAlignment);
    if (imageEnd > 0xFFFFFFFFu || storedEnd + rawShift > 0xFFFFFFFFu)
        return Fail(error, "the image would exceed 4 GiB");

    std::vector<uint8_t> out(file->begin(), file->begin() + rsrc.rawOffset);
    out.insert(out.end(), resources.begin(), resources.end());
    out.resize(rsrc.rawOffset + newRaw);
    out.insert(out.end(), file->begin() + rsrc.rawOffset + rsrc.rawSize, file->end());
    uint8_t* d = out.data();
    PutLe32(d + rsrc.header + kSectionVirtualSize, uint32_t(resources.size()));
    PutLe32(d + rsrc.header + kSectionRawSize, uint32_t(newRaw));
    for (size_t i = size_t(index) + 1; i < sections.size(); i++) {
        PutLe32(d + sections[i].header + kSectionVirtualAddress, uint32_t(sections[i].virtualAddress + virtualShift));
        PutLe32(d + sections[i].header + kSectionRawOffset, uint32_t(sections[i].rawOffset + rawShift));
    }
    PutLe32(d + layout.directoryTable + 8 * kDirectoryResources + 4, uint32_t(resources.size()));
    if (relocations > rsrc.virtualAddress)
        PutLe32(d + layout.directoryTable + 8 * kDirectoryRelocations, uint32_t(relocations + virtualShift));
    PutLe32(d + layout.optionalHeader + kOptImageSize, uint32_t(imageEnd));
    if (rsrc.characteristics & kInitializedData) {
        uint8_t* field = d + layout.optionalHeader + kOptInitializedData;
        PutLe32(field, uint32_t(std::max<int64_t>(0, int64_t(Le32(field)) + rawShift)));
    }
    PutLe32(d + layout.checksumField, PeChecksum(out, layout.checksumField));
    file->swap(out);
    return true;
}

uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumField)
{
    auto byteAt = [&](size_t i) -> uint32_t { return i - checksumField < 4 ? 0 : file[i]; };
    uint32_t sum = 0;
    for (size_t i = 0; i < file.size(); i += 2) {
        sum += byteAt(i) | (i + 1 < file.size() ? byteAt(i + 1) << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + uint32_t(file.size());
}
