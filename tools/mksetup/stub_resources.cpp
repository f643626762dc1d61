// Only the resource section of the stub's copy is rebuilt: the group icon
// and the images it names are replaced, the version block's string tables
// edited, every other resource copied as it is. The section keeps its
// address, so nothing the code refers to moves (pe_image.cpp refuses the
// layouts where something would).
#include "tools/mksetup/stub_resources.h"

#include "archive/container.h"
#include "base/utf8.h"
#include "tools/mksetup/build_checks.h"
#include "tools/mksetup/host.h"
#include "tools/mksetup/pe_image.h"
#include "tools/mksetup/resource_tree.h"
#include "tools/mksetup/tool_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

namespace {

// Longer texts than any file properties dialog shows.
const size_t kMostTextUnits = 256;

struct IconImage {
    size_t offset; // in the .ico file
    size_t size;
    // Width, height, colours, reserved, planes, bit count, byte count: the
    // group keeps these with the image's id behind them.
    uint8_t entry[12];
};

bool Fail(std::string* error, const std::string& why)
{
    *error = why;
    return false;
}

// The images of an .ico file: a 6-byte header (0, type 1, count), 16 bytes
// per image, then the images, each a bitmap (header, colours, mask) or PNG.
bool ReadIconImages(const std::vector<uint8_t>& file, std::vector<IconImage>* images, std::string* why)
{
    if (file.size() < 6 || Le16(&file[0]) != 0 || Le16(&file[2]) != 1)
        return Fail(why, file.size() >= 6 && Le16(&file[0]) == 0 && Le16(&file[2]) == 2 ? "it is a cursor"
                                                                                        : "no icon header");
    size_t count = Le16(&file[4]), directoryEnd = 6 + 16 * count;
    if (count == 0)
        return Fail(why, "it holds no images");
    if (directoryEnd > file.size())
        return Fail(why, "its list of " + std::to_string(count) + " images is cut short");
    images->clear();
    for (size_t i = 0; i < count; i++) {
        const uint8_t* e = &file[6 + 16 * i];
        size_t size = Le32(e + 8), offset = Le32(e + 12);
        std::string which = "image " + std::to_string(i + 1);
        if (size == 0 || offset < directoryEnd || offset > file.size() || size > file.size() - offset)
            return Fail(why, which + " lies outside the file");
        const uint8_t* p = &file[offset];
        bool png = size >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0;
        uint32_t header = size >= 16 ? Le32(p) : 0;
        if (!png && !((header == 40 || header == 108 || header == 124) && size >= header))
            return Fail(why, which + " is neither a bitmap nor a PNG picture");
        IconImage image{offset, size, {}};
        std::memcpy(image.entry, e, 12);
        // Some writers leave planes and bit count 0; the system chooses
        // among the images by them.
        if (Le16(image.entry + 4) == 0)
            PutLe16(image.entry + 4, 1);
        if (Le16(image.entry + 6) == 0)
            PutLe16(image.entry + 6, png ? 32 : Le16(p + 14));
        images->push_back(image);
    }
    return true;
}

bool ReadIconFile(const std::filesystem::path& path, std::vector<uint8_t>* data, std::string* error)
{
    FILE* f = OpenHostFile(path, false);
    if (!f)
        return Fail(error, DisplayPath(path) + ": cannot open (" + std::strerror(errno) + ")");
    // Far more than the setup could carry; CheckStub tells the exact limit.
    data->resize(kScanEnd + 1);
    size_t got = std::fread(data->data(), 1, data->size(), f);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        return Fail(error, DisplayPath(path) + ": read error");
    if (got == data->size())
        return Fail(error, DisplayPath(path) + ": the icon is larger than " + Grouped(kScanEnd) +
                               " bytes; the setup could not find its archive behind it");
    data->resize(got);
    return true;
}

// The new group and its images take the group's language and the lowest
// image ids no other group uses.
bool ReplaceIcon(std::vector<Resource>* resources, const std::vector<uint8_t>& file,
                 const std::vector<IconImage>& images, std::string* error)
{
    auto isGroup = [](const Resource& r) { return r.type.Is(kResourceGroupIcon) && r.name.Is(kSetupIconGroup); };
    auto imagesOf = [](const Resource& group, std::set<uint16_t>* ids) {
        for (size_t at = 6; at + 14 <= group.data.size(); at += 14)
            ids->insert(uint16_t(Le16(&group.data[at + 12])));
    };
    uint16_t language = 0;
    std::set<uint16_t> old, kept;
    for (const Resource& r : *resources) {
        if (isGroup(r))
            language = r.language;
        if (r.type.Is(kResourceGroupIcon))
            imagesOf(r, isGroup(r) ? &old : &kept);
    }
    resources->erase(std::remove_if(resources->begin(), resources->end(),
                                    [&](const Resource& r) {
                                        return isGroup(r) || (r.type.Is(kResourceIcon) && !r.name.named &&
                                                              old.count(r.name.id) && !kept.count(r.name.id));
                                    }),
                     resources->end());
    std::set<uint16_t> used;
    for (const Resource& r : *resources)
        if (r.type.Is(kResourceIcon) && !r.name.named)
            used.insert(r.name.id);

    Resource group;
    group.type.id = kResourceGroupIcon;
    group.name.id = kSetupIconGroup;
    group.language = language;
    group.data.resize(6 + 14 * images.size());
    PutLe16(&group.data[2], 1);
    PutLe16(&group.data[4], uint32_t(images.size()));
    uint32_t id = 1;
    for (size_t i = 0; i < images.size(); i++, id++) {
        while (id <= 0xFFFF && used.count(uint16_t(id)))
            id++;
        if (id > 0xFFFF)
            return Fail(error, "no free icon ids left in the stub");
        Resource image;
        image.type.id = kResourceIcon;
        image.name.id = uint16_t(id);
        image.language = language;
        image.data.assign(file.begin() + images[i].offset, file.begin() + images[i].offset + images[i].size);
        resources->push_back(std::move(image));
        std::memcpy(&group.data[6 + 14 * i], images[i].entry, 12);
        PutLe16(&group.data[6 + 14 * i + 12], id);
    }
    resources->push_back(std::move(group));
    return true;
}

// One node of a version block: length, value length (characters for text,
// bytes otherwise), type, key, then the value and the children, each
// beginning on a 4-byte boundary.
struct VersionNode {
    uint16_t valueLength = 0;
    uint16_t type = 0; // 1: text
    std::u16string key;
    std::vector<uint8_t> value;
    std::vector<VersionNode> children;
};

size_t Pad4(size_t v)
{
    return (v + 3) & ~size_t(3);
}

bool ParseVersionNode(const uint8_t* p, size_t size, int depth, VersionNode* node)
{
    size_t length = size >= 6 ? Le16(p) : 0;
    if (length < 6 || length > size || depth > 4)
        return false;
    node->valueLength = uint16_t(Le16(p + 2));
    node->type = uint16_t(Le16(p + 4));
    size_t at = 6;
    for (;;) {
        if (at + 2 > length)
            return false;
        char16_t c = char16_t(Le16(p + at));
        at += 2;
        if (c == 0)
            break;
        node->key.push_back(c);
    }
    at = Pad4(at);
    size_t valueBytes = node->type == 1 ? 2 * size_t(node->valueLength) : node->valueLength;
    valueBytes = at < length ? std::min(valueBytes, length - at) : 0;
    node->value.assign(p + std::min(at, length), p + std::min(at, length) + valueBytes);
    for (at = Pad4(at + valueBytes); at < length; at = Pad4(at + Le16(p + at))) {
        node->children.emplace_back();
        if (!ParseVersionNode(p + at, length - at, depth + 1, &node->children.back()))
            return false;
    }
    return true;
}

bool WriteVersionNode(const VersionNode& node, std::vector<uint8_t>* out)
{
    size_t start = out->size();
    out->resize(start + 6 + 2 * (node.key.size() + 1));
    PutLe16(&(*out)[start + 2], node.valueLength);
    PutLe16(&(*out)[start + 4], node.type);
    for (size_t i = 0; i < node.key.size(); i++)
        PutLe16(&(*out)[start + 6 + 2 * i], node.key[i]);
    out->resize(Pad4(out->size()));
    out->insert(out->end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        out->resize(Pad4(out->size()));
        if (!WriteVersionNode(child, out))
            return false;
    }
    size_t length = out->size() - start;
    PutLe16(&(*out)[start], uint32_t(length));
    return length <= 0xFFFF;
}

void SetVersionText(VersionNode* table, const std::u16string& key, const std::u16string& text)
{
    auto it = std::find_if(table->children.begin(), table->children.end(),
                           [&](const VersionNode& n) { return n.key == key; });
    VersionNode* node = it != table->children.end() ? &*it : &table->children.emplace_back();
    node->key = key;
    node->type = 1;
    node->valueLength = uint16_t(text.size() + 1);
    node->value.assign(2 * (text.size() + 1), 0);
    for (size_t i = 0; i < text.size(); i++)
        PutLe16(&node->value[2 * i], text[i]);
}

// "2", "2.5", "2.5.1" or "2.5.1.7", parts up to 65535: the version as the
// fixed part of the block holds it, in two 32-bit words.
bool VersionNumbers(const std::string& text, uint32_t words[2])
{
    uint32_t parts[4] = {0, 0, 0, 0};
    size_t at = 0;
    for (int n = 0;; n++) {
        if (n == 4 || at >= text.size() || text[at] < '0' || text[at] > '9')
            return false;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; at++)
            if ((parts[n] = parts[n] * 10 + uint32_t(text[at] - '0')) > 0xFFFF)
                return false;
        if (at == text.size())
            break;
        if (text[at++] != '.')
            return false;
    }
    words[0] = parts[0] << 16 | parts[1];
    words[1] = parts[2] << 16 | parts[3];
    return true;
}

struct VersionTexts {
    std::vector<std::pair<std::u16string, std::u16string>> strings; // key, text
    bool numbered = false;
    uint32_t productVersion[2] = {0, 0};
};

bool EditVersionBlock(std::vector<uint8_t>* block, const VersionTexts& texts, std::string* error)
{
    VersionNode root;
    if (!ParseVersionNode(block->data(), block->size(), 0, &root))
        return Fail(error, "its version block is damaged");
    auto info = std::find_if(root.children.begin(), root.children.end(),
                             [](const VersionNode& n) { return n.key == u"StringFileInfo"; });
    if (info == root.children.end() || info->children.empty())
        return Fail(error, "its version block holds no string table");
    for (VersionNode& table : info->children)
        for (const auto& [key, text] : texts.strings)
            SetVersionText(&table, key, text);
    const uint32_t kFixedInfoSignature = 0xFEEF04BD;
    if (texts.numbered && root.value.size() >= 24 && Le32(root.value.data()) == kFixedInfoSignature) {
        PutLe32(&root.value[16], texts.productVersion[0]);
        PutLe32(&root.value[20], texts.productVersion[1]);
    }
    std::vector<uint8_t> out;
    if (!WriteVersionNode(root, &out))
        return Fail(error, "the texts do not fit in its version block");
    block->swap(out);
    return true;
}

// UTF-8 as UTF-16 (what version blocks hold), within the length limit.
bool Utf16Text(const std::string& option, const std::string& utf8, std::u16string* text, std::string* error)
{
    text->clear();
    for (size_t at = 0; at < utf8.size();) {
        uint32_t c = 0;
        size_t used = DecodeUtf8(utf8.data() + at, utf8.size() - at, &c);
        if (used == 0)
            return Fail(error, option + " is no valid UTF-8");
        if (c < 0x20 || c == 0x7F)
            return Fail(error, option + " holds a control character");
        if (c >= 0x10000) {
            text->push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
            c = 0xDC00 + (c & 0x3FF);
        }
        text->push_back(char16_t(c));
        at += used;
    }
    if (text->size() > kMostTextUnits)
        return Fail(error, option + " is longer than " + std::to_string(kMostTextUnits) + " characters");
    return true;
}

bool CollectTexts(const StubBranding& branding, VersionTexts* texts, std::string* error)
{
    const struct {
        const char* option;
        const std::string& value;
        std::vector<std::pair<std::u16string, std::u16string>> keys; // key, text around the value
    } fields[] = {
        {"--product-name", branding.productName, {{u"ProductName", u""}, {u"FileDescription", u" Setup"}}},
        {"--product-version", branding.productVersion, {{u"ProductVersion", u""}}},
        {"--company", branding.company, {{u"CompanyName", u""}}},
    };
    for (const auto& field : fields) {
        std::u16string text;
        if (field.value.empty())
            continue;
        if (!Utf16Text(field.option, field.value, &text, error))
            return false;
        for (const auto& [key, suffix] : field.keys)
            texts->strings.emplace_back(key, text + suffix);
    }
    texts->numbered = VersionNumbers(branding.productVersion, texts->productVersion);
    return true;
}

} // namespace

bool BrandStub(const StubBranding& branding, const std::filesystem::path& stubPath, std::vector<uint8_t>* stub,
               std::string* error)
{
    if (branding.Empty())
        return true;
    VersionTexts texts;
    if (!CollectTexts(branding, &texts, error))
        return false;
    std::vector<uint8_t> icon;
    std::vector<IconImage> images;
    std::string why;
    if (!branding.icon.empty()) {
        if (!ReadIconFile(branding.icon, &icon, error))
            return false;
        if (!ReadIconImages(icon, &images, &why))
            return Fail(error, DisplayPath(branding.icon) + ": not an icon: " + why);
    }

    std::string stubName = DisplayPath(stubPath) + ": cannot take the vendor's icon and texts: ";
    PeLayout layout;
    if (!ReadPeLayout(*stub, &layout, &why))
        return Fail(error, stubName + why);
    int index = ResourceSectionIndex(layout, &why);
    if (index < 0)
        return Fail(error, stubName + why);
    const PeSection& section = layout.sections[size_t(index)];
    std::vector<Resource> resources;
    if (!ReadResourceTree(SectionBytes(*stub, section), section.virtualAddress, &resources, &why))
        return Fail(error, stubName + why);
    if (!images.empty() && !ReplaceIcon(&resources, icon, images, &why))
        return Fail(error, stubName + why);
    if (!texts.strings.empty()) {
        bool found = false;
        for (Resource& r : resources) {
            if (!r.type.Is(kResourceVersion))
                continue;
            if (!EditVersionBlock(&r.data, texts, &why))
                return Fail(error, stubName + why);
            found = true;
        }
        if (!found)
            return Fail(error, stubName + "it has no version block");
    }
    std::vector<uint8_t> branded = *stub;
    if (!ReplaceResourceSection(&branded, WriteResourceTree(resources, section.virtualAddress), &why))
        return Fail(error, stubName + why);

    // The setup must still find its archive behind the grown stub.
    Findings findings;
    CheckStub(branded, &findings);
    if (!findings.errors.empty())
        return Fail(error, DisplayPath(branding.icon.empty() ? stubPath : branding.icon) + ": with the vendor's " +
                               (branding.icon.empty() ? "texts" : "icon") + ", " + findings.errors.front());
    stub->swap(branded);
    return true;
}
