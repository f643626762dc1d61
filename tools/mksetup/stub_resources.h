// The vendor's icon and texts in the setup: the copy of the stub that goes
// into a setup gets the images of an .ico file as its icon and the product's
// name, version and vendor in its version block. Everything else of the stub
// stays as it is, its other resources byte for byte.
#ifndef OV_TOOLS_MKSETUP_STUB_RESOURCES_H
#define OV_TOOLS_MKSETUP_STUB_RESOURCES_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Empty members leave the stub's own.
struct StubBranding {
    std::filesystem::path icon;
    std::string productName; // UTF-8; also "<name> Setup" as the description
    std::string productVersion;
    std::string company;

    bool Empty() const { return icon.empty() && productName.empty() && productVersion.empty() && company.empty(); }
};

// The group icon the setup and the file manager show (IDI_SETUP).
constexpr uint16_t kSetupIconGroup = 1;

// Applies `branding` to `stub` (read from `stubPath`, named in messages).
// Refuses, with one line naming the file and the reason, an icon file that
// is no icon, a stub whose layout cannot take new resources, and a result
// the setup could not work from (see CheckStub). Nothing changes when
// `branding` is empty.
bool BrandStub(const StubBranding& branding, const std::filesystem::path& stubPath, std::vector<uint8_t>* stub,
               std::string* error);

#endif
