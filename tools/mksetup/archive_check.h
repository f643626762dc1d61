// The vendor's strict look at a setup's archive, beyond what the setup itself
// checks: every header's stored checksum, every block inside the file, and
// an end-of-archive block (with our walk stop) that ends the file, or is
// followed only by a code signature the PE header names.
#ifndef OV_TOOLS_MKSETUP_ARCHIVE_CHECK_H
#define OV_TOOLS_MKSETUP_ARCHIVE_CHECK_H

#include <string>

// "" when the archive's blocks are whole and end the file; otherwise what
// is wrong, naming the block's offset. Archives of the old generation have
// other headers and are left to the setup's own pass.
// The setup's own walk must also reach every file entry the blocks hold.
std::string CheckArchiveBlocks(const std::string& path);

#endif
