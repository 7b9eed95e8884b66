#include "Console.h"

#include <unistd.h>

namespace OrqHost {

Console::Console(std::FILE* out_, std::FILE* err_) : out(out_), err(err_)
{
    sharedTerminal = out == err || (isatty(fileno(out)) != 0 && isatty(fileno(err)) != 0);
}

bool Console::WriteOut(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (sharedTerminal)
        EraseBarLocked();
    const std::string text = line + '\n';
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    // Event lines are flushed one by one: a script reading a live stream
    // sees each event as it happens.
    return std::fflush(out) == 0 && written;
}

bool Console::WriteErr(const std::string& line)
{
    std::lock_guard<std::mutex> lock(mutex);
    EraseBarLocked();
    const std::string text = line + '\n';
    const bool written = std::fwrite(text.data(), 1, text.size(), err) == text.size();
    return std::fflush(err) == 0 && written;
}

void Console::DrawBar(const std::string& bar)
{
    std::lock_guard<std::mutex> lock(mutex);
    EraseBarLocked();
    if (bar.empty())
        return;
    std::fputs(bar.c_str(), err);
    std::fflush(err);
    barShown = true;
}

void Console::EraseBarLocked()
{
    if (!barShown)
        return;
    // Carriage return and "erase to end of line": the bar is only ever drawn
    // on a terminal, which understands both.
    std::fputs("\r\x1b[K", err);
    barShown = false;
}

}  // namespace OrqHost
