#include "pool.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zefhost {

HostPool::HostPool(std::string name) : name_(std::move(name)) {
    header_.routines.obtain = &HostPool::obtain_routine;
    header_.routines.release = &HostPool::release_routine;
    header_.self = this;
}

HostPool::~HostPool() {
    for (auto &[block, size] : blocks_) std::free(block);
}

HostPool *HostPool::from(zef::Pool *pool) {
    static_assert(offsetof(Header, routines) == 0);
    return reinterpret_cast<Header *>(pool)->self;
}

void *HostPool::obtain(int64_t size, uint32_t option) {
    ++obtains_;
    if (refuse_all_) {
        ++refusals_;
        return nullptr;
    }
    if (refuse_countdown_ > 0 && --refuse_countdown_ == 0) {
        ++refusals_;
        return nullptr;
    }
    if (shared_ != nullptr) {
        ++shared_->obtains;
        if (shared_->countdown > 0 && --shared_->countdown == 0) {
            ++shared_->refusals;
            ++refusals_;
            return nullptr;
        }
    }
    if (size < 0) return nullptr;
    // At least one byte, so every block has an address of its own.
    void *block = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
    if (block == nullptr) return nullptr;
    if (option & zef::kZeroFillBit)
        std::memset(block, 0, static_cast<size_t>(size));
    else
        std::memset(block, kFillPattern, static_cast<size_t>(size));
    blocks_.emplace(block, size);
    bytes_ += size;
    return block;
}

void HostPool::release(void *block) {
    ++releases_;
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
        ++bad_releases_;
        std::fprintf(stderr, "zefhost: pool %s: release of a block it did not hand out (%p)\n",
                     name_.c_str(), block);
        return;
    }
    bytes_ -= it->second;
    blocks_.erase(it);
    std::free(block);
}

void *HostPool::obtain_routine(zef::Pool *pool, int64_t size, uint32_t option) {
    return from(pool)->obtain(size, option);
}

void HostPool::release_routine(zef::Pool *pool, void *block, int64_t, uint32_t) {
    from(pool)->release(block);
}

}  // namespace zefhost
