// The framework's block containers: a growable array made of fixed blocks of 64 elements.
//
// Elements never move once added, and a set of a normal packet's touches lives in one block, so
// rebuilding the touch set costs no allocation per touch. The block table has a fixed room of 128
// blocks (8192 elements); it is never grown, and an Add beyond it is refused instead of writing
// past the table.
#pragma once

#include <cstdint>

#include "foundation/VexoObj.h"

namespace VexoSource {

// One block: an array of kElements elements, created on demand by Add and destroyed by Release.
template <typename T>
class VexoLocalGrp {
public:
    static constexpr int32_t kElements = 64;

    VexoLocalGrp() : elements(new T[kElements]()) {}
    virtual ~VexoLocalGrp() { delete[] elements; }
    VexoLocalGrp(const VexoLocalGrp&) = delete;
    VexoLocalGrp& operator=(const VexoLocalGrp&) = delete;

    T* elements;
};

template <typename T>
class VexoArraryBase : public VexoObj {
public:
    static constexpr int32_t kTableCapacity = 128;
    static constexpr int32_t kBlockSize = VexoLocalGrp<T>::kElements;
    static constexpr int32_t kMaxElements = kTableCapacity * kBlockSize;

    VexoArraryBase() : table(new VexoLocalGrp<T>*[kTableCapacity]()) {}
    ~VexoArraryBase() override {
        destroying = 1;
        VexoArraryBase::Release();
    }
    VexoArraryBase(const VexoArraryBase&) = delete;
    VexoArraryBase& operator=(const VexoArraryBase&) = delete;

    int32_t Initialize() override {
        ready = 1;
        return 1;
    }

    // Destroys every block and empties the container; the final one (from the destructor) also
    // frees the block table.
    void Release() override {
        if (table) {
            for (int32_t b = 0; b <= lastBlock; ++b) {
                delete table[b];
                table[b] = nullptr;
            }
        }
        lastBlock = -1;
        lastElement = -1;
        if (destroying) {
            delete[] table;
            table = nullptr;
        }
    }

    // False when the element was not stored.
    virtual bool Add(const T&) { return false; }
    // The element at `index`, or nullptr.
    virtual const T* Get(int32_t) const { return nullptr; }
    virtual int32_t Count() const { return lastElement + 1; }
    // The element with that touch id, or nullptr.
    virtual const T* Find(int32_t) const { return nullptr; }

    int32_t ready = 0;
    int32_t destroying = 0;
    int32_t lastBlock = -1;
    int32_t lastElement = -1;
    VexoLocalGrp<T>** table;
    int32_t tableCapacity = kTableCapacity;
    int32_t blockSize = kBlockSize;
};

template <typename T>
class VexoArrary : public VexoArraryBase<T> {};

template <typename T>
class VexoGroup : public VexoArrary<T> {
public:
    using Base = VexoArraryBase<T>;

    bool Add(const T& element) override {
        const int32_t i = this->lastElement + 1;
        // A full table refuses the element: the table is never grown and must not be overrun.
        if (!this->table || i >= Base::kMaxElements) return false;
        const int32_t block = i / Base::kBlockSize;
        if (block > this->lastBlock) {
            this->table[block] = new VexoLocalGrp<T>;
            this->lastBlock = block;
        }
        this->table[block]->elements[i % Base::kBlockSize] = element;
        this->lastElement = i;
        return true;
    }

    const T* Get(int32_t index) const override {
        if (index < 0 || index > this->lastElement) return nullptr;
        return &this->table[index / Base::kBlockSize]->elements[index % Base::kBlockSize];
    }

    int32_t Count() const override { return this->lastElement + 1; }

    // Blocks from the last to the first, each block's used positions from its first.
    const T* Find(int32_t id) const override {
        for (int32_t b = this->lastBlock; b >= 0; --b) {
            const int32_t used = b < this->lastBlock ? Base::kBlockSize : this->lastElement % Base::kBlockSize + 1;
            const T* elements = this->table[b]->elements;
            for (int32_t k = 0; k < used; ++k)
                if (elements[k].id == id) return &elements[k];
        }
        return nullptr;
    }

    // Replaces the content with a copy of `source`'s elements, in order.
    void CopyFrom(const VexoGroup& source) {
        if (&source == this) return;
        this->Release();
        const int32_t n = source.Count();
        for (int32_t i = 0; i < n; ++i) Add(*source.Get(i));
    }
};

}  // namespace VexoSource
