#pragma once

#include <tuple>
#include <type_traits>

#include "runtime/CircularBuffer.h"

// What a model names once for the AMI layer, in its `static constexpr auto AmiBinding()`: the members where
// AMI_Init writes the bit time and the samples per bit, and the external ports, each of which AMI_Init
// gives one element of storage and AMI_Close releases: the input wave, the output wave, the clock times
// (null for a model that reports none), then any other ports.
template <typename Model, typename SamplesPerBit, typename... OtherPorts>
struct AmiModelBinding {
    double Model::*bitTime;                 // unit interval [s]
    SamplesPerBit Model::*samplesPerBit;    // an int or a double member
    Velmora::CircularBuffer<double> Model::*input;
    Velmora::CircularBuffer<double> Model::*output;
    Velmora::CircularBuffer<double> Model::*clock;  // clock time [s] or -1.0 per sample; null: none
    std::tuple<OtherPorts Model::*...> otherPorts;
};

namespace ami_model {

template <typename T>
struct NotDeduced {
    using type = T;
};
template <typename Model>
using WavePort = typename NotDeduced<Velmora::CircularBuffer<double> Model::*>::type;

template <typename Model, typename SamplesPerBit, typename... OtherPorts>
constexpr AmiModelBinding<Model, SamplesPerBit, OtherPorts...> Bind(double Model::*bitTime,
                                                                    SamplesPerBit Model::*samplesPerBit,
                                                                    WavePort<Model> input, WavePort<Model> output,
                                                                    WavePort<Model> clock,
                                                                    OtherPorts Model::*... otherPorts) {
    return {bitTime, samplesPerBit, input, output, clock, {otherPorts...}};
}

template <typename Model>
constexpr bool kHasClockPort = Model::AmiBinding().clock != nullptr;

template <typename Model>
void SetTiming(Model& model, double bitTime, int samplesPerBit) {
    constexpr auto binding = Model::AmiBinding();
    model.*binding.bitTime = bitTime;
    using Stored = std::remove_reference_t<decltype(model.*binding.samplesPerBit)>;
    model.*binding.samplesPerBit = static_cast<Stored>(samplesPerBit);
}

template <typename Model>
Velmora::CircularBuffer<double>& InputPort(Model& model) {
    return model.*Model::AmiBinding().input;
}
template <typename Model>
Velmora::CircularBuffer<double>& OutputPort(Model& model) {
    return model.*Model::AmiBinding().output;
}
template <typename Model>
Velmora::CircularBuffer<double>& ClockPort(Model& model) {
    static_assert(kHasClockPort<Model>, "the model reports no clock times");
    return model.*Model::AmiBinding().clock;
}

// f(port) for every external port: input, output, clock, then the others in the binding's order.
template <typename Model, typename F>
void ForEachPort(Model& model, F f) {
    constexpr auto binding = Model::AmiBinding();
    f(model.*binding.input);
    f(model.*binding.output);
    if constexpr (kHasClockPort<Model>) f(model.*binding.clock);
    std::apply([&](auto... others) { (f(model.*others), ...); }, binding.otherPorts);
}

}  // namespace ami_model
