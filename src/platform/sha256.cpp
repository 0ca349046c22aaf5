// What the two backends (sha256_openssl.cpp, windows/sha256_bcrypt.cpp) share.
#include "platform/sha256.h"

namespace quarnet {

Sha256& Sha256::operator=(const Sha256& other) {
    if (this != &other) *this = Sha256(other);  // the copy as the backend makes it, then a move
    return *this;
}

}  // namespace quarnet
