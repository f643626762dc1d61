#include "tools/mksetup/resource_tree.h"

#include "tools/mksetup/pe_image.h"

#include <algorithm>

namespace {

const uint32_t kSubdirectory = 0x80000000u; // in an entry's offset; in its name field: a string
const size_t kDirectorySize = 16, kEntrySize = 8, kDataEntrySize = 16;
// A damaged tree can name the same directories over and over.
const size_t kMostResources = 10000;

struct TreeReader {
    const std::vector<uint8_t>& section;
    uint32_t sectionRva;
    std::vector<Resource>* resources;
    std::string* error;

    bool Fail(const std::string& why)
    {
        *error = "its resource directory is damaged (" + why + ")";
        return false;
    }

    bool Key(uint32_t field, ResourceKey* key)
    {
        key->named = (field & kSubdirectory) != 0;
        key->id = key->named ? 0 : uint16_t(field);
        key->name.clear();
        if (!key->named)
            return field <= 0xFFFF || Fail("a number above 65535");
        size_t at = field & ~kSubdirectory;
        if (at + 2 > section.size() || at + 2 + 2 * Le16(&section[at]) > section.size())
            return Fail("a name outside the section");
        for (size_t i = 0; i < Le16(&section[at]); i++)
            key->name.push_back(char16_t(Le16(&section[at + 2 + 2 * i])));
        return true;
    }

    // Level 0 lists types, 1 names, 2 languages, whose entries lead to data.
    bool Directory(size_t at, int level, Resource* path)
    {
        if (at + kDirectorySize > section.size())
            return Fail("a directory outside the section");
        size_t count = Le16(&section[at + 12]) + Le16(&section[at + 14]);
        if (at + kDirectorySize + count * kEntrySize > section.size())
            return Fail("a directory runs past the section");
        for (size_t i = 0; i < count; i++) {
            const uint8_t* entry = &section[at + kDirectorySize + i * kEntrySize];
            uint32_t field = Le32(entry), offset = Le32(entry + 4);
            if ((level < 2) != ((offset & kSubdirectory) != 0))
                return Fail("data where a directory belongs, or the reverse");
            if (level == 0 && !Key(field, &path->type))
                return false;
            if (level == 1 && !Key(field, &path->name))
                return false;
            if (level < 2) {
                if (!Directory(offset & ~kSubdirectory, level + 1, path))
                    return false;
                continue;
            }
            if (field > 0xFFFF)
                return Fail("a language that is no number");
            if (offset + kDataEntrySize > section.size())
                return Fail("a data entry outside the section");
            uint32_t rva = Le32(&section[offset]), size = Le32(&section[offset + 4]);
            if (rva < sectionRva || uint64_t(rva - sectionRva) + size > section.size())
                return Fail("data outside the section");
            if (resources->size() == kMostResources)
                return Fail("more than " + std::to_string(kMostResources) + " resources");
            path->language = uint16_t(field);
            path->codePage = Le32(&section[offset + 8]);
            auto first = section.begin() + (rva - sectionRva);
            path->data.assign(first, first + size);
            resources->push_back(*path);
        }
        return true;
    }
};

// Names first, in code-unit order; then numbers.
bool KeyBefore(const ResourceKey& a, const ResourceKey& b)
{
    if (a.named != b.named)
        return a.named;
    return a.named ? a.name < b.name : a.id < b.id;
}

bool SameKey(const ResourceKey& a, const ResourceKey& b)
{
    return !KeyBefore(a, b) && !KeyBefore(b, a);
}

void Align(std::vector<uint8_t>* out, size_t alignment)
{
    out->resize((out->size() + alignment - 1) / alignment * alignment);
}

// Room for a directory of `count` entries, `named` of them by string.
size_t AddDirectory(std::vector<uint8_t>* out, size_t named, size_t count)
{
    size_t at = out->size();
    out->resize(at + kDirectorySize + count * kEntrySize);
    PutLe16(&(*out)[at + 12], uint32_t(named));
    PutLe16(&(*out)[at + 14], uint32_t(count - named));
    return at;
}

} // namespace

bool ReadResourceTree(const std::vector<uint8_t>& section, uint32_t sectionRva, std::vector<Resource>* resources,
                      std::string* error)
{
    resources->clear();
    Resource path;
    TreeReader reader{section, sectionRva, resources, error};
    return reader.Directory(0, 0, &path);
}

std::vector<uint8_t> WriteResourceTree(std::vector<Resource> list, uint32_t sectionRva)
{
    std::stable_sort(list.begin(), list.end(), [](const Resource& a, const Resource& b) {
        if (!SameKey(a.type, b.type))
            return KeyBefore(a.type, b.type);
        if (!SameKey(a.name, b.name))
            return KeyBefore(a.name, b.name);
        return a.language < b.language;
    });
    // The first resource of each type and of each name within its type.
    std::vector<size_t> typeAt, nameAt;
    for (size_t i = 0; i < list.size(); i++) {
        bool newType = i == 0 || !SameKey(list[i].type, list[i - 1].type);
        if (newType)
            typeAt.push_back(i);
        if (newType || !SameKey(list[i].name, list[i - 1].name))
            nameAt.push_back(i);
    }
    typeAt.push_back(list.size());
    nameAt.push_back(list.size());
    auto namedIn = [&](const std::vector<size_t>& starts, size_t from, size_t to, bool type) {
        size_t named = 0;
        for (size_t i = from; i < to; i++)
            named += (type ? list[starts[i]].type : list[starts[i]].name).named;
        return named;
    };

    std::vector<uint8_t> out;
    AddDirectory(&out, namedIn(typeAt, 0, typeAt.size() - 1, true), typeAt.size() - 1);
    // The name directories of type t are nameAt[firstName[t]] onwards.
    std::vector<size_t> typeDirectory, nameDirectory, firstName;
    for (size_t t = 0, n = 0; t + 1 < typeAt.size(); t++) {
        firstName.push_back(n);
        size_t end = n;
        while (nameAt[end] < typeAt[t + 1])
            end++;
        typeDirectory.push_back(AddDirectory(&out, namedIn(nameAt, n, end, false), end - n));
        n = end;
    }
    firstName.push_back(nameAt.size() - 1);
    for (size_t n = 0; n + 1 < nameAt.size(); n++)
        nameDirectory.push_back(AddDirectory(&out, 0, nameAt[n + 1] - nameAt[n]));

    auto nameField = [&](const ResourceKey& key) -> uint32_t {
        if (!key.named)
            return key.id;
        size_t at = out.size();
        out.resize(at + 2 + 2 * key.name.size());
        PutLe16(&out[at], uint32_t(key.name.size()));
        for (size_t i = 0; i < key.name.size(); i++)
            PutLe16(&out[at + 2 + 2 * i], key.name[i]);
        return kSubdirectory | uint32_t(at);
    };
    auto putEntry = [&](size_t directory, size_t index, uint32_t field, uint32_t offset) {
        PutLe32(&out[directory + kDirectorySize + index * kEntrySize], field);
        PutLe32(&out[directory + kDirectorySize + index * kEntrySize + 4], offset);
    };
    for (size_t t = 0; t + 1 < typeAt.size(); t++) {
        putEntry(0, t, nameField(list[typeAt[t]].type), kSubdirectory | uint32_t(typeDirectory[t]));
        for (size_t n = firstName[t]; n < firstName[t + 1]; n++)
            putEntry(typeDirectory[t], n - firstName[t], nameField(list[nameAt[n]].name),
                     kSubdirectory | uint32_t(nameDirectory[n]));
    }
    Align(&out, 8);
    size_t dataEntries = out.size();
    out.resize(dataEntries + list.size() * kDataEntrySize);
    for (size_t n = 0; n + 1 < nameAt.size(); n++) {
        for (size_t i = nameAt[n]; i < nameAt[n + 1]; i++) {
            size_t entry = dataEntries + i * kDataEntrySize;
            putEntry(nameDirectory[n], i - nameAt[n], list[i].language, uint32_t(entry));
            Align(&out, 8);
            PutLe32(&out[entry], sectionRva + uint32_t(out.size()));
            PutLe32(&out[entry + 4], uint32_t(list[i].data.size()));
            PutLe32(&out[entry + 8], list[i].codePage);
            out.insert(out.end(), list[i].data.begin(), list[i].data.end());
        }
    }
    return out;
}
