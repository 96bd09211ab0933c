#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "runtime/CircularBuffer.h"
#include "runtime/CircularBufferBus.h"
#include "runtime/MultiArray.h"

using Velmora::CircularBuffer;
using Velmora::CircularBufferBusT;
using Velmora::MultiArray;

namespace {

// Naive ring model: element at offset k lives at (position + k) mod capacity.
std::size_t RingIndex(std::size_t position, std::size_t offset, std::size_t capacity) {
    return (position + offset) % capacity;
}

}  // namespace

TEST(CircularBuffer, SetRateRaisesSizeButNeverLowersIt) {
    CircularBuffer<double> b;
    EXPECT_EQ(b.rate, 1u);
    EXPECT_EQ(b.size, 1u);
    EXPECT_EQ(b.elementSize, sizeof(double));
    b.size = 5;
    b.SetRate(3);
    EXPECT_EQ(b.rate, 3u);
    EXPECT_EQ(b.size, 5u);
    b.SetRate(7);
    EXPECT_EQ(b.size, 7u);
    EXPECT_EQ(CircularBuffer<int>().elementSize, 4u);
    EXPECT_EQ(CircularBuffer<float>().elementSize, 4u);
}

TEST(CircularBuffer, AddressingWrapsOnceAtCapacity) {
    int storage[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    CircularBuffer<int> b;
    b.Attach(storage, 8);
    for (std::size_t position = 0; position < 8; ++position) {
        b.position = position;
        for (std::size_t k = 0; k < 8; ++k) EXPECT_EQ(*b.ElementAt(k), storage[RingIndex(position, k, 8)]);
    }
}

TEST(CircularBuffer, CopyToMovesInChunksAndLeavesPositions) {
    double src[8], dst[8];
    for (int i = 0; i < 8; ++i) {
        src[i] = 10 + i;
        dst[i] = -1;
    }
    CircularBuffer<double> a, b;
    a.Attach(src, 8);
    b.Attach(dst, 8);
    a.position = 6;
    b.position = 5;
    a.CopyTo(0, b, 0, 5);
    // Source indexes 6-7, 0, 1-2 land on destination indexes 5-6, 7, 0-1.
    const double expected[8] = {11, 12, -1, -1, -1, 16, 17, 10};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(dst[i], expected[i]) << i;
    EXPECT_EQ(a.position, 6u);
    EXPECT_EQ(b.position, 5u);
}

TEST(CircularBuffer, CopyToMatchesElementwiseReferenceForEveryGeometry) {
    // Every combination of positions, offsets and counts on buffers of different capacities.
    const std::size_t capA = 5, capB = 7;
    for (std::size_t pa = 0; pa < capA; ++pa)
        for (std::size_t pb = 0; pb < capB; ++pb)
            for (std::size_t oa = 0; oa < capA; ++oa)
                for (std::size_t ob = 0; ob < capB; ++ob)
                    for (std::size_t count = 0; count <= capA; ++count) {
                        int src[capA], dst[capB], ref[capB];
                        for (std::size_t i = 0; i < capA; ++i) src[i] = static_cast<int>(100 + i);
                        for (std::size_t i = 0; i < capB; ++i) dst[i] = ref[i] = -static_cast<int>(i) - 1;
                        CircularBuffer<int> a, b;
                        a.Attach(src, capA);
                        b.Attach(dst, capB);
                        a.position = pa;
                        b.position = pb;
                        a.CopyTo(oa, b, ob, count);
                        for (std::size_t i = 0; i < count; ++i)
                            ref[RingIndex(pb, ob + i, capB)] = src[RingIndex(pa, oa + i, capA)];
                        for (std::size_t i = 0; i < capB; ++i) ASSERT_EQ(dst[i], ref[i]);
                    }
}

TEST(CircularBuffer, ClearZeroesWrappedRange) {
    float storage[4] = {1, 2, 3, 4};
    CircularBuffer<float> b;
    b.Attach(storage, 4);
    b.position = 3;
    EXPECT_TRUE(b.Clear(1, 2));
    EXPECT_EQ(storage[0], 0.0f);
    EXPECT_EQ(storage[1], 0.0f);
    EXPECT_EQ(storage[2], 3.0f);
    EXPECT_EQ(storage[3], 4.0f);
}

TEST(CircularBuffer, AdvanceWrapsByRate) {
    int storage[5] = {};
    CircularBuffer<int> b;
    b.Attach(storage, 5);
    b.SetRate(2);
    std::vector<std::size_t> seen;
    for (int i = 0; i < 5; ++i) {
        b.Advance();
        seen.push_back(b.position);
    }
    EXPECT_EQ(seen, (std::vector<std::size_t>{2, 4, 1, 3, 0}));
}

TEST(CircularBuffer, FreeReleasesOwnOrGivenStorage) {
    CircularBuffer<double> b;
    b.Attach(CircularBuffer<double>::Allocate(4), 4);
    b.position = 2;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(b.data[i], 0.0);  // storage starts zeroed

    double* other = CircularBuffer<double>::Allocate(3);
    double* own = b.data;
    b.Free(other);  // releases only the given storage
    EXPECT_EQ(b.data, own);
    EXPECT_EQ(b.capacity, 4u);
    EXPECT_EQ(b.position, 2u);

    b.Free(nullptr);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity, 0u);
    EXPECT_EQ(b.position, 0u);
}

TEST(CircularBuffer, OverflowingAllocationThrowsBadAlloc) {
    const std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;  // times 8 bytes overflows
    EXPECT_THROW(CircularBuffer<double>::Allocate(huge), std::bad_alloc);
}

TEST(CircularBufferBus, SameWidthKeepsBranchesOtherWidthRenews) {
    CircularBufferBusT<CircularBuffer<double>> bus;
    EXPECT_EQ(bus.width, 0u);
    bus.SetBusWidth(3);
    ASSERT_EQ(bus.width, 3u);
    bus.GetBranch(1)->position = 2;
    bus.GetBranch(2)->SetRate(4);
    bus.SetBusWidth(3);
    EXPECT_EQ(bus.GetBranch(1)->position, 2u);
    EXPECT_EQ(bus.GetBranch(2)->rate, 4u);
    bus.SetBusWidth(2);
    EXPECT_EQ(bus.width, 2u);
    EXPECT_EQ(bus.GetBranch(1)->position, 0u);
    EXPECT_EQ(bus.GetBranch(1)->rate, 1u);
    bus.SetBusWidth(0);
    EXPECT_EQ(bus.width, 0u);
    EXPECT_EQ(bus.branches, nullptr);
}

TEST(MultiArray, ShapesStridesAndStorageGrowth) {
    MultiArray<double> m;
    EXPECT_EQ(m.numDims, 2u);
    EXPECT_EQ(m.total, 0u);
    EXPECT_EQ(m.allocated, 0u);

    m.SetShape(500, 1024);
    EXPECT_EQ(m.total, 512000u);
    EXPECT_EQ(m.strides[0], 1);
    EXPECT_EQ(m.strides[1], 500);
    m.At(3, 2) = 7.5;
    EXPECT_EQ(m[3 + 2 * 500], 7.5);
    const double* storage = m.Data();

    m.SetShape(2, 2);
    EXPECT_EQ(m.total, 4u);
    EXPECT_EQ(m.allocated, 512000u);  // storage never shrinks
    EXPECT_EQ(m.Data(), storage);
    EXPECT_EQ(m.strides[1], 2);

    const std::int32_t extents[3] = {2, 3, 4};
    m.SetShape(3, extents);
    EXPECT_EQ(m.numDims, 3u);
    EXPECT_EQ(m.total, 24u);
    EXPECT_EQ(m.strides[2], 6);

    m.SetShape(0, extents);
    EXPECT_EQ(m.total, 1u);  // the empty product
}

TEST(MultiArray, ReshapeOfSameSizeKeepsValues) {
    MultiArray<int> m;
    m.SetShape(1, 16);
    for (int i = 0; i < 16; ++i) m[static_cast<std::size_t>(i)] = i * i;
    m.SetShape(16, 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[static_cast<std::size_t>(i)], i * i);
}
