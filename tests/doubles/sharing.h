#pragma once
// What another program that holds a file open lets others do with it.

namespace quarnet {

struct Sharing {
    bool read = false;
    bool write = false;
    bool del = false;
};

}  // namespace quarnet
