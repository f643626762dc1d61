// The code signature a signing tool appends to a finished setup: where the
// PE header says it lies, and who signed it. Nothing here judges trust.
#ifndef OV_TOOLS_MKSETUP_PE_SIGNATURE_H
#define OV_TOOLS_MKSETUP_PE_SIGNATURE_H

#include <cstdint>
#include <string>

struct PeSignature {
    bool present = false;
    uint64_t offset = 0; // of the certificate table, from the PE header
    uint64_t size = 0;
    std::string signer;  // the signing certificate's subject ("CN=..., O=..."), or ""
    std::string problem; // why a table that is there cannot be read, or ""
};

// Reads the PE header of the file at `path` and, when it names a
// certificate table, the table's signer.
PeSignature ReadPeSignature(const std::string& path);

#endif
