// The PE image of a stub as mksetup edits it: the header fields and the
// section table, the resource section swapped for one of another size (the
// sections behind it moved), and the header checksum. Written from the
// PE/COFF format; only what giving a stub new resources needs.
#ifndef OV_TOOLS_MKSETUP_PE_IMAGE_H
#define OV_TOOLS_MKSETUP_PE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Little-endian fields, as the PE format and the resources in it store them.
inline uint32_t Le16(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline uint32_t Le32(const uint8_t* p)
{
    return Le16(p) | Le16(p + 2) << 16;
}
inline void PutLe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v)
{
    PutLe16(p, v);
    PutLe16(p + 2, v >> 16);
}

struct PeSection {
    std::string name;
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawOffset;
    uint32_t rawSize;
    uint32_t characteristics;
    size_t header; // file offset of its entry in the section table
};

struct PeDirectory {
    uint32_t rva;
    uint32_t size;
};

enum : uint32_t {
    kDirectoryResources = 2,
    kDirectorySecurity = 4, // the certificate table: a file offset, not an RVA
    kDirectoryRelocations = 5,
};

struct PeLayout {
    bool pe32Plus;
    size_t optionalHeader; // file offsets
    size_t checksumField;
    size_t directoryTable;
    uint32_t sectionAlignment;
    uint32_t fileAlignment;
    uint32_t symbolTable; // file offset of a COFF symbol table, 0 when stripped
    std::vector<PeDirectory> directories;
    std::vector<PeSection> sections;
};

// The headers and section table, checked as far as the edit relies on them.
bool ReadPeLayout(const std::vector<uint8_t>& file, PeLayout* layout, std::string* error);

// The section that holds the resource directory (at its start), or -1 with
// the reason.
int ResourceSectionIndex(const PeLayout& layout, std::string* error);

// The bytes of a section as stored in the file, at most its virtual size.
std::vector<uint8_t> SectionBytes(const std::vector<uint8_t>& file, const PeSection& section);

// Puts `resources` (a resource tree laid out for the section's unchanged
// address) in place of the resource section; the relocation section behind
// it moves by whole alignment units, and the image size, data directories
// and checksum follow. Refuses layouts where anything the code addresses
// would move.
bool ReplaceResourceSection(std::vector<uint8_t>* file, const std::vector<uint8_t>& resources, std::string* error);

// The header checksum of the image: 16-bit words summed with end-around
// carry, skipping the field itself, plus the file length.
uint32_t PeChecksum(const std::vector<uint8_t>& file, size_t checksumField);

#endif
