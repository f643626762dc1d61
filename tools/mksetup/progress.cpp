#include "tools/mksetup/progress.h"

#include <cstdio>

void ProgressBar::Update(const char* label, uint64_t done, uint64_t total)
{
    if (!enabled_)
        return;
    int percent = total ? int(done >= total ? 100 : done * 100 / total) : 100;
    if (percent == shown_ && label_ == label)
        return;
    shown_ = percent;
    label_ = label;
    const int width = 30;
    int filled = percent * width / 100;
    char bar[width + 1];
    for (int i = 0; i < width; i++)
        bar[i] = i < filled ? '#' : '.';
    bar[width] = 0;
    std::fprintf(stderr, "\r%-12s [%s] %3d%%", label, bar, percent);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Finish()
{
    if (!drawn_)
        return;
    std::fprintf(stderr, "\r%60s\r", "");
    std::fflush(stderr);
    drawn_ = false;
    shown_ = -1;
}
