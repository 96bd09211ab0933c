#pragma once

#include <cstddef>

#include "runtime/ConstUnTimed.h"
#include "runtime/Fork.h"
#include "runtime/Mux.h"

// The settings the receiver gives its plain runtime blocks, each followed by that block's Setup, whose
// result it returns.
namespace block_setup {

template <typename T>
bool Fork(Velmora::Fork<T>& fork, std::size_t branches) {
    fork.output.SetBusWidth(branches);
    return fork.Setup();
}

// One element per firing from one of `inputs` branches.
template <typename T>
bool Mux(Velmora::Mux<T>& mux, std::size_t inputs) {
    mux.BlockSize = 1;
    mux.input.SetBusWidth(inputs);
    return mux.Setup();
}

// `value` from the first firing on.
template <typename T>
bool Constant(Velmora::ConstUnTimed<T>& constant, T value) {
    constant.value = value;
    constant.InitialDelay = 0;
    return constant.Setup();
}

}  // namespace block_setup
