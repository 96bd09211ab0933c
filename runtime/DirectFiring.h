#pragma once

namespace Velmora {

// Fires blocks in a fixed order and remembers whether every one succeeded; a failure does not stop the
// later firings. Each block is called through its own class, not the virtual table, so a small block's
// Run is inlined: the owner must pass members that are of exactly their declared class.
class DirectFiring {
public:
    template <typename Block>
    void operator()(Block& block) {
        ok = block.Block::Run() && ok;
    }
    // Takes the result of a firing done some other way.
    void Record(bool fired) { ok = fired && ok; }
    bool Succeeded() const { return ok; }

private:
    bool ok = true;
};

}  // namespace Velmora
