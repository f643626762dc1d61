// The vendor's icon and texts in the setup: icon files that are none
// refused in one line, and both built stubs (the shipped 32-bit one, the
// 64-bit one) read back after the edit, by the tool's resource reader and by
// objdump, with the PE layout and checksum checked. The texts, as the system
// reads them, are checked under Wine (tests/windows).
#include "tools/mksetup/commands.h"
#include "tools/mksetup/pe_image.h"
#include "tools/mksetup/resource_tree.h"
#include "tools/mksetup/stub_resources.h"
#include "support/archive_builder.h"
#include "support/icon_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

using Key = std::pair<int, int>;

std::map<Key, Resource> Resources(const std::vector<uint8_t>& image)
{
    PeLayout layout;
    std::string error;
    EXPECT_TRUE(ReadPeLayout(image, &layout, &error)) << error;
    const PeSection& section = layout.sections.at(size_t(ResourceSectionIndex(layout, &error)));
    std::vector<Resource> list;
    EXPECT_TRUE(ReadResourceTree(SectionBytes(image, section), section.virtualAddress, &list, &error)) << error;
    std::map<Key, Resource> byKey;
    for (const Resource& r : list)
        byKey[{r.type.id, r.name.id}] = r;
    return byKey;
}

} // namespace

TEST(StubBranding, IconFilesThatAreNoneAreRefusedInOneLine)
{
    TempDir dir;
    std::string stub = dir.File("stub.exe"), icon = dir.File("logo.ico"), setup = dir.File("setup.exe");
    WriteFileBytes(stub, BytesOf("MZ" + std::string(4094, '\0')));
    fs::create_directories(dir.File("product"));
    WriteFileBytes(dir.File("product") + "/FILE_ID.DIZ", BytesOf("A Version 1\r\n"));
    std::string good = IconFile({IconBitmap(16, 0)}), two = IconFile({IconBitmap(16, 0), IconBitmap(32, 0)});
    std::string cursor = good;
    cursor[2] = 2;
    const std::pair<std::string, std::string> cases[] = {
        {kIconPng, icon + ": not an icon: no icon header"},
        {cursor, icon + ": not an icon: it is a cursor"},
        {IconFile({}), icon + ": not an icon: it holds no images"},
        {two.substr(0, 30), icon + ": not an icon: its list of 2 images is cut short"},
        {good.substr(0, good.size() - 1), icon + ": not an icon: image 1 lies outside the file"},
        {IconFile({IconBitmap(16, 0), "\xff\xd8\xff\xe0" + std::string(99, 'j')}),
         icon + ": not an icon: image 2 is neither a bitmap nor a PNG picture"},
        {good, stub + ": cannot take the vendor's icon and texts: not a Windows program (no PE header)"},
    };
    for (const auto& [bytes, message] : cases) {
        WriteFileBytes(icon, BytesOf(bytes));
        testing::internal::CaptureStderr();
        int code = RunBuild({dir.File("product"), "-o", setup, "--stub", stub, "--icon", icon, "-q"});
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "mksetup: error: " + message + "\n");
        EXPECT_EQ(code, kExitFailure) << message;
        EXPECT_FALSE(fs::exists(setup)) << message;
    }
}

TEST(StubBranding, BothStubsCarryTheVendorsIconAndTextsAndStayValidImages)
{
    TempDir dir;
    std::string icon = dir.File("logo.ico"), setup = dir.File("setup.exe"), product = dir.File("product");
    std::vector<std::string> images = {IconBitmap(48, 0xFFC04020), IconBitmap(16, 0xFF20C040), kIconPng};
    WriteFileBytes(icon, BytesOf(IconFile(images)));
    fs::create_directories(product);
    WriteFileBytes(product + "/FILE_ID.DIZ", BytesOf("A Version 1\r\n"));
    for (const char* preset : {"win32", "win64"}) {
        std::string stub = std::string(OV_SOURCE_DIR) + "/build/" + preset + "/app/Setup.exe", error;
        std::vector<uint8_t> original, image;
        if (!ReadFileBytes(stub, &original))
            GTEST_SKIP() << stub << " is not built";
        SCOPED_TRACE(preset);
        ASSERT_EQ(RunBuild({product, "-o", setup, "--stub", stub, "-q", "--icon", icon, "--product-name", "Acme Widget",
                            "--product-version=2.5.1", "--company", "Acme Ltd"}),
                  kExitOk);
        EXPECT_EQ(RunTest({setup}), kExitOk); // the archive is found behind the grown stub
        PeLayout layout, edited;
        ASSERT_TRUE(ReadFileBytes(setup, &image) && ReadPeLayout(original, &layout, &error) &&
                    ReadPeLayout(image, &edited, &error))
            << error;
        const PeSection& last = edited.sections.back();
        image.resize(last.rawOffset + last.rawSize); // the stub's part
        // The linker's checksum vouches for ours.
        EXPECT_EQ(PeChecksum(original, layout.checksumField), Le32(&original[layout.checksumField]));
        for (size_t i = 0; i < layout.sections.size(); i++) // all but the resources as they were, where they lie
            EXPECT_TRUE(layout.sections[i].name == ".rsrc" ||
                        SectionBytes(image, edited.sections[i]) == SectionBytes(original, layout.sections[i]))
                << layout.sections[i].name;

        std::map<Key, Resource> before = Resources(original), after = Resources(image);
        const Resource& group = after[Key(kResourceGroupIcon, kSetupIconGroup)];
        ASSERT_EQ(group.data.size(), 6 + 14 * images.size());
        for (size_t i = 0; i < images.size(); i++) {
            const uint8_t* entry = &group.data[6 + 14 * i];
            EXPECT_EQ(Le16(entry + 4), 1u); // planes and bit count filled in for the PNG image
            EXPECT_EQ(Le16(entry + 6), 32u);
            EXPECT_EQ(Le32(entry + 8), images[i].size());
            EXPECT_EQ(after[Key(kResourceIcon, int(Le16(entry + 12)))].data, BytesOf(images[i]));
        }
        EXPECT_EQ(after.size(), before.size() + images.size() - 2); // the old two images gone
        for (Key kept : {Key{5, 1000}, Key{24, 1}})
            EXPECT_EQ(after[kept].data, before[kept].data);
        // objdump reads the same: alignment, addresses, sizes, checksum.
        std::vector<uint8_t> said;
        std::system((std::string(OV_OBJDUMP) + " -h -p " + setup + " >" + setup + ".txt 2>&1").c_str());
        ASSERT_TRUE(ReadFileBytes(setup + ".txt", &said));
        std::string dump(said.begin(), said.end());
        EXPECT_EQ(dump.find("objdump"), std::string::npos) << dump; // no complaint
        auto field = [&](const std::string& name) {
            std::smatch m;
            return std::regex_search(dump, m, std::regex(name + "\\s+([0-9a-f]+)"))
                       ? uint64_t(std::stoull(m[1], nullptr, 16))
                       : ~uint64_t(0);
        };
        uint64_t base = field("ImageBase"), alignment = field("SectionAlignment"), end = 0, count = 0;
        auto alignUp = [&](uint64_t v) { return (v + alignment - 1) / alignment * alignment; };
        std::regex section(R"(\n +\d+ (\.\w+) +([0-9a-f]+) +([0-9a-f]+) +[0-9a-f]+ +([0-9a-f]+))");
        for (std::sregex_iterator it(dump.begin(), dump.end(), section), none; it != none; ++it, ++count) {
            std::string name = (*it)[1];
            uint64_t size = std::stoull((*it)[2], nullptr, 16), address = std::stoull((*it)[3], nullptr, 16) - base;
            EXPECT_EQ(std::stoull((*it)[4], nullptr, 16) % field("FileAlignment"), 0u) << name;
            EXPECT_EQ(address, end ? alignUp(end) : address) << name; // each where the one before ends
            end = address + size;
            if (name == ".rsrc") {
                EXPECT_EQ(field("Entry 2"), address);
                EXPECT_EQ(field("Entry 2 [0-9a-f]+"), size);
            } else if (name == ".reloc") {
                EXPECT_EQ(field("Entry 5"), address);
            }
        }
        EXPECT_EQ(count, layout.sections.size());
        EXPECT_EQ(field("SizeOfImage"), alignUp(end));
        EXPECT_EQ(field("CheckSum"), PeChecksum(image, layout.checksumField));
        std::regex leaf("Leaf:");
        EXPECT_EQ(size_t(std::distance(std::sregex_iterator(dump.begin(), dump.end(), leaf), {})), after.size());
    }
}
