// Root interface of the framework's objects.
#pragma once

#include <cstdint>

class VexoObj {
public:
    virtual ~VexoObj() = default;
    // Makes the object ready for use; non-zero on success.
    virtual int32_t Initialize() = 0;
    // Undoes Initialize so that the object can be initialised again.
    virtual void Release() = 0;
};
