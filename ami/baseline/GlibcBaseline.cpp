// Lets a model library built on a new glibc load on glibc 2.28 and later.
//
// The statically linked C++ runtime and unwinder of a new toolchain refer to four C-library symbols that
// older glibc releases lack (or export under an older version only): __libc_single_threaded (2.32),
// pthread_once and __pthread_key_create (moved into the C library under version 2.34) and
// _dl_find_object (2.35). Each is defined here, hidden, so the link binds the runtime's references to
// these definitions and the library asks the host's C library only for what glibc 2.28 already exports.
// Linked into every model library on Linux; nothing here is exported (the version script keeps only the
// three AMI entry points).

#ifndef _GNU_SOURCE
#define _GNU_SOURCE 1
#endif

#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#define KELVANE_HIDDEN __attribute__((visibility("hidden")))

extern "C" {

// Zero tells the runtime that other threads may exist, so it always takes its atomic paths: the host
// simulator may well drive models from several threads.
KELVANE_HIDDEN char __libc_single_threaded = 0;

// The runtime takes only the address of this function, to learn that threads are available (they always
// are: the C library's mutex functions work in every process). It never creates a key through it.
KELVANE_HIDDEN int __pthread_key_create(pthread_key_t*, void (*)(void*)) {
    return EAGAIN;
}

}  // extern "C"

namespace {

// States of a pthread_once_t, which starts as PTHREAD_ONCE_INIT (0).
constexpr int kOnceNotRun = PTHREAD_ONCE_INIT;
constexpr int kOnceRunning = 1;
constexpr int kOnceDone = 2;

void WakeAll(int* word) {
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr, nullptr, 0);
}

// Puts the control back to "not run" when the routine leaves by an exception, so that a later call
// retries it, as the C library's own pthread_once does.
struct OnceAttempt {
    int* control;
    bool finished = false;
    ~OnceAttempt() {
        __atomic_store_n(control, finished ? kOnceDone : kOnceNotRun, __ATOMIC_RELEASE);
        WakeAll(control);
    }
};

struct EhFrameSearch {
    std::uintptr_t pc;
    dl_find_object* result;
    bool found;
};

// dl_iterate_phdr callback: fills the result from the object whose loaded segments contain the address.
int FindObjectOfAddress(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<EhFrameSearch*>(data);
    const std::uintptr_t base = info->dlpi_addr;
    bool contains = false;
    std::uintptr_t start = UINTPTR_MAX;
    std::uintptr_t end = 0;
    const ElfW(Phdr)* ehFrame = nullptr;
    const ElfW(Phdr)* dynamic = nullptr;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD) {
            const std::uintptr_t from = base + segment.p_vaddr;
            const std::uintptr_t to = from + segment.p_memsz;
            if (search->pc >= from && search->pc < to) contains = true;
            if (from < start) start = from;
            if (to > end) end = to;
        } else if (segment.p_type == PT_GNU_EH_FRAME) {
            ehFrame = &segment;
        } else if (segment.p_type == PT_DYNAMIC) {
            dynamic = &segment;
        }
    }
    if (!contains) return 0;
    dl_find_object& result = *search->result;
    result.dlfo_flags = 0;
    result.dlfo_map_start = reinterpret_cast<void*>(start);
    result.dlfo_map_end = reinterpret_cast<void*>(end);
    result.dlfo_link_map = nullptr;  // the unwinder does not read it
    result.dlfo_eh_frame = ehFrame != nullptr ? reinterpret_cast<void*>(base + ehFrame->p_vaddr) : nullptr;
#if DLFO_STRUCT_HAS_EH_DBASE
    // The base of data-relative pointers in the unwind tables is the object's global offset table. The
    // loader has already relocated the dynamic section's entries on this target.
    result.dlfo_eh_dbase = nullptr;
    if (dynamic != nullptr) {
        for (auto* entry = reinterpret_cast<const ElfW(Dyn)*>(base + dynamic->p_vaddr); entry->d_tag != DT_NULL; ++entry)
            if (entry->d_tag == DT_PLTGOT) result.dlfo_eh_dbase = reinterpret_cast<void*>(entry->d_un.d_ptr);
    }
#else
    (void)dynamic;
#endif
    search->found = true;
    return 1;
}

}  // namespace

extern "C" {

// Runs `routine` exactly once per control word, however many threads call at once; the others wait until
// it has finished.
KELVANE_HIDDEN int pthread_once(pthread_once_t* control, void (*routine)(void)) {
    int* word = reinterpret_cast<int*>(control);
    int state = __atomic_load_n(word, __ATOMIC_ACQUIRE);
    while (state != kOnceDone) {
        if (state == kOnceNotRun) {
            if (__atomic_compare_exchange_n(word, &state, kOnceRunning, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
                OnceAttempt attempt{word};
                routine();
                attempt.finished = true;
                return 0;
            }
            continue;  // another thread changed the state; look again
        }
        syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, kOnceRunning, nullptr, nullptr, 0);
        state = __atomic_load_n(word, __ATOMIC_ACQUIRE);
    }
    return 0;
}

// The unwinder's way to find the unwind tables of the object that holds a code address; answered with
// dl_iterate_phdr, which every glibc has. Returns 0 when found, -1 otherwise.
KELVANE_HIDDEN int _dl_find_object(void* address, dl_find_object* result) noexcept {
    EhFrameSearch search{reinterpret_cast<std::uintptr_t>(address), result, false};
    dl_iterate_phdr(FindObjectOfAddress, &search);
    return search.found ? 0 : -1;
}

}  // extern "C"
