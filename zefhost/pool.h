// A host storage pool with accounting and fault injection. Its first two
// words are the zef::Pool routine words the module calls; the rest is the
// stand-in's own: blocks and bytes outstanding, a refusal plan, and the
// releases it could not match to a block it handed out.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "zefxbaml/abi.h"

namespace zefhost {

// One refusal plan shared by several pools: the nth obtain from any of them
// is refused, so that a sweep can fail every storage request in turn.
struct SharedRefusal {
    int64_t countdown = 0;  // 0: no refusal planned
    int64_t obtains = 0;
    int64_t refusals = 0;
};

class HostPool {
public:
    explicit HostPool(std::string name);
    ~HostPool();
    HostPool(const HostPool &) = delete;
    HostPool &operator=(const HostPool &) = delete;

    // The address the module sees.
    zef::Pool *pool() { return &header_.routines; }
    static HostPool *from(zef::Pool *pool);

    int64_t blocks_outstanding() const { return static_cast<int64_t>(blocks_.size()); }
    int64_t bytes_outstanding() const { return bytes_; }
    int64_t obtains() const { return obtains_; }
    int64_t releases() const { return releases_; }
    int64_t bad_releases() const { return bad_releases_; }
    const std::string &name() const { return name_; }

    // Refuse the nth obtain from now (1 = the next one); 0 cancels.
    void refuse_nth(int64_t n) { refuse_countdown_ = n; }
    // Refuse every obtain until cleared.
    void refuse_all(bool on) { refuse_all_ = on; }
    int64_t refusals() const { return refusals_; }
    // Follows a plan shared with other pools as well as its own.
    void follow(SharedRefusal *plan) { shared_ = plan; }

    void *obtain(int64_t size, uint32_t option);
    void release(void *block);

    // Byte pattern of option-4 storage, so code that relies on zero fill shows.
    static constexpr uint8_t kFillPattern = 0xA5;

private:
    static void *obtain_routine(zef::Pool *pool, int64_t size, uint32_t option);
    static void release_routine(zef::Pool *pool, void *block, int64_t size, uint32_t option);

    // What the module holds: the two routine words, then the way back here.
    struct Header {
        zef::Pool routines;
        HostPool *self;
    };
    Header header_;
    std::string name_;
    std::unordered_map<void *, int64_t> blocks_;
    int64_t bytes_ = 0;
    int64_t obtains_ = 0;
    int64_t releases_ = 0;
    int64_t bad_releases_ = 0;
    int64_t refuse_countdown_ = 0;
    bool refuse_all_ = false;
    int64_t refusals_ = 0;
    SharedRefusal *shared_ = nullptr;
};

}  // namespace zefhost
