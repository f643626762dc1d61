// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, so that logs and pipes stay clean.
#ifndef OV_TOOLS_MKSETUP_PROGRESS_H
#define OV_TOOLS_MKSETUP_PROGRESS_H

#include <cstdint>
#include <string>

class ProgressBar {
public:
    explicit ProgressBar(bool enabled)
        : enabled_(enabled)
    {}
    ~ProgressBar() { Finish(); }

    // Redraws when the label or the shown percentage changes.
    void Update(const char* label, uint64_t done, uint64_t total);
    // Clears the line, so that the next message starts on a clean one.
    void Finish();

private:
    bool enabled_;
    bool drawn_ = false;
    int shown_ = -1;
    std::string label_;
};

#endif
