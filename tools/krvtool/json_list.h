// JSON results on stdout: one object per line, or (--json=array) all of them
// in one array.
#pragma once

#include <cstdio>
#include <string>

namespace krvtool {

class JsonList {
public:
    explicit JsonList(bool array) : array_(array) {}
    ~JsonList() { finish(); }
    void add(const std::string& object)
    {
        if (array_)
            std::printf("%s%s", count_ ? ",\n " : "[", object.c_str());
        else
            std::printf("%s\n", object.c_str());
        ++count_;
    }
    void finish()
    {
        if (array_ && !finished_)
            std::printf("%s]\n", count_ ? "" : "[");
        finished_ = true;
    }

private:
    bool array_;
    bool finished_ = false;
    size_t count_ = 0;
};

} // namespace krvtool
