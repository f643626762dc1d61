// The resource section of a PE image as a flat list, and back: the three
// directory levels (type, name, language) read into one record per resource
// and rebuilt from such a list, with the data entries' addresses made for
// the section's place in the image.
#ifndef OV_TOOLS_MKSETUP_RESOURCE_TREE_H
#define OV_TOOLS_MKSETUP_RESOURCE_TREE_H

#include <cstdint>
#include <string>
#include <vector>

// A type or a name: a number, or a string.
struct ResourceKey {
    bool named = false;
    uint16_t id = 0;
    std::u16string name;

    bool Is(uint16_t number) const { return !named && id == number; }
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

enum : uint16_t {
    kResourceIcon = 3,
    kResourceGroupIcon = 14,
    kResourceVersion = 16,
};

// Reads the tree of `section`, which starts at `sectionRva` in the image;
// every resource's data must lie in the section.
bool ReadResourceTree(const std::vector<uint8_t>& section, uint32_t sectionRva, std::vector<Resource>* resources,
                      std::string* error);

// The section for `resources` at `sectionRva`: directories, names, data
// entries, then the data, entries and data 8-byte aligned. Entries are
// sorted as the format wants (names before numbers), whatever the list's
// order.
std::vector<uint8_t> WriteResourceTree(std::vector<Resource> resources, uint32_t sectionRva);

#endif
