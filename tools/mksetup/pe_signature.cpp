#include "tools/mksetup/pe_signature.h"

#include "tools/mksetup/host.h"
#include "tools/mksetup/pe_image.h"
#include "tools/mksetup/tool_text.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// One DER element: its tag, and where its contents lie.
struct Der {
    uint8_t tag = 0;
    const uint8_t* body = nullptr;
    size_t size = 0;
    const uint8_t* end() const { return body + size; }
};

// Reads the element at *p (before `end`) and moves *p behind it.
bool Next(const uint8_t** p, const uint8_t* end, Der* out)
{
    const uint8_t* q = *p;
    if (end - q < 2)
        return false;
    out->tag = *q++;
    size_t size = *q++;
    if (size & 0x80) {
        int bytes = int(size & 0x7F);
        if (bytes == 0 || bytes > 4 || end - q < bytes)
            return false;
        size = 0;
        while (bytes--)
            size = (size << 8) | *q++;
    }
    if (size > size_t(end - q))
        return false;
    out->body = q;
    out->size = size;
    *p = q + size;
    return true;
}

// The first element inside `outer` and the ones after it.
struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    explicit Reader(const Der& outer)
        : at(outer.body)
        , end(outer.end())
    {}
    bool Take(Der* out) { return Next(&at, end, out); }
};

std::string Text(const Der& value)
{
    std::string out;
    if (value.tag == 0x1E) { // BMPString: UTF-16, big-endian
        std::wstring wide;
        for (size_t i = 0; i + 1 < value.size; i += 2)
            wide += wchar_t((value.body[i] << 8) | value.body[i + 1]);
        return Utf8Of(wide);
    }
    return std::string(reinterpret_cast<const char*>(value.body), value.size);
}

// "CN=..., O=..." from a Name: the attributes people know by their short
// names, in the certificate's order.
std::string NameText(const Der& name)
{
    static const struct {
        uint8_t last;
        const char* label;
    } kLabels[] = {{3, "CN"}, {6, "C"}, {7, "L"}, {8, "ST"}, {10, "O"}, {11, "OU"}};
    std::string out;
    Reader rdns(name);
    for (Der set; rdns.Take(&set);) {
        Reader attributes(set);
        for (Der attribute; attributes.Take(&attribute);) {
            Reader parts(attribute);
            Der type, value;
            if (!parts.Take(&type) || !parts.Take(&value) || type.tag != 0x06 || type.size != 3 ||
                std::memcmp(type.body, "\x55\x04", 2) != 0)
                continue;
            for (const auto& l : kLabels)
                if (type.body[2] == l.last)
                    out += (out.empty() ? "" : ", ") + std::string(l.label) + "=" + Text(value);
        }
    }
    return out;
}

bool Same(const Der& a, const Der& b)
{
    return a.size == b.size && std::memcmp(a.body, b.body, a.size) == 0;
}

// The subject of the certificate that made the first signature of a
// PKCS #7 SignedData, found by the issuer and serial number its signer
// names.
std::string SignerOf(const uint8_t* bytes, size_t size)
{
    const uint8_t* p = bytes;
    Der info, type, wrapped, signedData, version, digests, content, item;
    if (!Next(&p, bytes + size, &info))
        return "";
    Reader top(info);
    if (!top.Take(&type) || !top.Take(&wrapped) || wrapped.tag != 0xA0)
        return "";
    Reader outer(wrapped);
    if (!outer.Take(&signedData))
        return "";
    Reader r(signedData);
    if (!r.Take(&version) || !r.Take(&digests) || !r.Take(&content))
        return "";
    std::vector<Der> certificates;
    Der signerInfos;
    while (r.Take(&item)) {
        if (item.tag == 0xA0) {
            Reader set(item);
            for (Der c; set.Take(&c);)
                certificates.push_back(c);
        } else if (item.tag == 0x31) {
            signerInfos = item;
        }
    }
    Der signer, signerVersion, issuerAndSerial, issuer, serial;
    Reader infos(signerInfos);
    if (!signerInfos.body || !infos.Take(&signer))
        return "";
    Reader s(signer);
    if (!s.Take(&signerVersion) || !s.Take(&issuerAndSerial))
        return "";
    Reader id(issuerAndSerial);
    if (!id.Take(&issuer) || !id.Take(&serial))
        return "";
    for (const Der& c : certificates) {
        Der tbs, field, certSerial, algorithm, certIssuer, validity, subject;
        Reader cert(c);
        if (!cert.Take(&tbs))
            continue;
        Reader t(tbs);
        if (!t.Take(&field))
            continue;
        certSerial = field;
        if (field.tag == 0xA0 && !t.Take(&certSerial)) // the version comes first when present
            continue;
        if (t.Take(&algorithm) && t.Take(&certIssuer) && t.Take(&validity) && t.Take(&subject) &&
            Same(certSerial, serial) && Same(certIssuer, issuer))
            return NameText(subject);
    }
    return "";
}

} // namespace

PeSignature ReadPeSignature(const std::string& path)
{
    PeSignature sig;
    FILE* f = OpenHostFile(std::filesystem::u8path(path), false);
    if (!f)
        return sig;
    uint8_t head[4096] = {};
    size_t got = std::fread(head, 1, sizeof head, f);
    std::fseek(f, 0, SEEK_END);
    int64_t fileSize = std::ftell(f);
    uint32_t pe = got >= 0x40 ? Le32(head + 0x3C) : 0;
    if (got < 0x40 || head[0] != 'M' || head[1] != 'Z' || uint64_t(pe) + 24 + 112 + 8 * 5 > got ||
        std::memcmp(head + pe, "PE\0\0", 4) != 0) {
        std::fclose(f);
        return sig;
    }
    const uint8_t* optional = head + pe + 24;
    bool wide = Le16(optional) == 0x20B;
    uint32_t directories = Le32(optional + (wide ? 108 : 92));
    const uint8_t* security = optional + (wide ? 112 : 96) + 8 * kDirectorySecurity;
    if (directories <= 4 || Le32(security + 4) == 0) {
        std::fclose(f);
        return sig;
    }
    sig.present = true;
    sig.offset = Le32(security); // a file offset, unlike the other directories
    sig.size = Le32(security + 4);
    std::vector<uint8_t> table;
    if (fileSize < 0 || sig.offset + sig.size > uint64_t(fileSize) || sig.size < 8 || sig.size > (64u << 20)) {
        sig.problem = "the certificate table lies outside the file";
    } else {
        table.resize(size_t(sig.size));
        std::fseek(f, long(sig.offset), SEEK_SET);
        if (std::fread(table.data(), 1, table.size(), f) != table.size())
            sig.problem = "the certificate table cannot be read";
    }
    std::fclose(f);
    if (sig.problem.empty()) {
        // WIN_CERTIFICATE: length, revision, type 2 (PKCS #7), then the data.
        uint32_t length = Le32(table.data());
        if (Le16(table.data() + 6) != 2 || length < 8 || length > table.size())
            sig.problem = "the certificate table holds no PKCS #7 signature";
        else
            sig.signer = SignerOf(table.data() + 8, length - 8);
        if (sig.problem.empty() && sig.signer.empty())
            sig.problem = "the signer's certificate cannot be read";
    }
    return sig;
}
