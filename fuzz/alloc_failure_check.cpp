// Makes each allocation of the parameter-string reader fail in turn and checks that the parse
// then reports failure and gives back every block it took. Linked with
// -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free so that only the reader's own
// calls (and this file's) pass through the counters below.

#include "ami/AmiParameterTree.h"

#include <cstddef>
#include <cstdio>
#include <string>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* block, std::size_t size);
void __real_free(void* block);
}

namespace {

long liveBlocks = 0;     // blocks taken and not yet given back
long allocations = 0;    // allocation attempts since the last reset
long failAt = -1;        // the attempt that fails; -1 for none

bool NextAttemptFails() {
    return allocations++ == failAt;
}

}  // namespace

extern "C" {
void* __wrap_malloc(std::size_t size) {
    if (NextAttemptFails()) return nullptr;
    void* block = __real_malloc(size);
    if (block != nullptr) ++liveBlocks;
    return block;
}

void* __wrap_calloc(std::size_t count, std::size_t size) {
    if (NextAttemptFails()) return nullptr;
    void* block = __real_calloc(count, size);
    if (block != nullptr) ++liveBlocks;
    return block;
}

void* __wrap_realloc(void* block, std::size_t size) {
    if (NextAttemptFails()) return nullptr;
    void* grown = __real_realloc(block, size);
    if (grown != nullptr && block == nullptr) ++liveBlocks;
    return grown;
}

void __wrap_free(void* block) {
    if (block != nullptr) --liveBlocks;
    __real_free(block);
}
}

namespace {

int failures = 0;

void Check(bool condition, const char* what, const std::string& text, long attempt) {
    if (condition) return;
    std::fprintf(stderr, "allocation failure %ld of \"%.60s\": %s\n", attempt, text.c_str(), what);
    ++failures;
    liveBlocks = 0;  // report each leak once
}

// Fails attempt 0, 1, 2, ... until a parse needs no more attempts than that.
void SweepParse(const std::string& text) {
    for (long attempt = 0;; ++attempt) {
        allocations = 0;
        failAt = attempt;
        ParamList* list = nullptr;
        const int code = ParseAmiString(text.c_str(), &list);
        const bool reached = allocations > attempt;
        if (code == kParseOk) ReleaseParamList(list);
        failAt = -1;
        Check(liveBlocks == 0, "blocks left over", text, attempt);
        if (!reached) {
            Check(code == kParseOk, "no failure injected, yet the parse failed", text, attempt);
            return;
        }
        Check(code == kParseNoMemory, "failed allocation not reported as code 4", text, attempt);
    }
}

// The reader: an unbuilt tree when the parse cannot allocate, and lookups that fail softly.
void SweepTree(const std::string& text, const char* path) {
    for (long attempt = 0;; ++attempt) {
        allocations = 0;
        failAt = attempt;
        bool reached = false;
        {
            const AmiParameterTree tree(text.c_str());
            int value = 0;
            const bool found = tree.GetInt(path, value);
            reached = allocations > attempt;
            Check(found == !reached, "lookup result does not follow the injected failure", text, attempt);
        }
        failAt = -1;
        Check(liveBlocks == 0, "blocks left over by the reader", text, attempt);
        if (!reached) return;
    }
}

}  // namespace

int main() {
    const std::string texts[] = {
        "(kelvane_tx (c0 15) (c1 0) (cm1 4) (c0_sign 1) (c1_sign -1) (cm1_sign 1))",
        "(kelvane_rx (Rx_config 1) (EQ_TABLE (0 3) (1 5) (2 7) (3 9) (4 11)) (Factor 0.5 1 2 3 4 5 6 7 8))",
        "(kelvane_tx (c0 1 (z 2)) (label \"a (b) c\") (c1 3))",
        "(a (b (c (d (e 1)))) (f 2) (g 3) (h 4) (i 5))",
    };
    for (const std::string& text : texts) SweepParse(text);
    SweepTree(texts[0], "kelvane_tx.cm1_sign");
    SweepTree(texts[1], "kelvane_rx.EQ_TABLE.4");
    if (failures == 0) std::printf("allocation failure check: all clean\n");
    return failures == 0 ? 0 : 1;
}
