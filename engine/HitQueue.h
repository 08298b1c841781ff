#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace bopwell
{

// One accepted tap on its way from the sensor thread to the audio thread. It carries no strength:
// every hit plays at the same level.
struct HitRecord
{
    std::uint64_t onsetNs = 0;
    std::int32_t generation = 0;
};

// Single-producer (sensor thread), single-consumer (audio thread) queue of 64 hits. The indices
// only grow; a slot is index mod 64, and the queue is full when 64 hits wait.
class HitQueue
{
public:
    static constexpr std::uint32_t capacity = 64;

    // Producer side. False when the queue is full; the hit is then lost.
    bool tryPush (const HitRecord& hit) noexcept
    {
        const auto write = writeIndex.load (std::memory_order_relaxed);
        if (write - readIndex.load (std::memory_order_acquire) >= capacity)
            return false;
        slots[write % capacity] = hit;
        writeIndex.store (write + 1, std::memory_order_release);
        return true;
    }

    // Consumer side.
    bool tryPop (HitRecord& hit) noexcept
    {
        const auto read = readIndex.load (std::memory_order_relaxed);
        if (read == writeIndex.load (std::memory_order_acquire))
            return false;
        hit = slots[read % capacity];
        readIndex.store (read + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: hands every waiting hit to the visitor and frees the slots in one step.
    template <typename Visitor>
    void drain (Visitor&& visit) noexcept
    {
        const auto write = writeIndex.load (std::memory_order_acquire);
        for (auto read = readIndex.load (std::memory_order_relaxed); read != write; ++read)
            visit (slots[read % capacity]);
        readIndex.store (write, std::memory_order_release);
    }

    // Consumer side: forgets every waiting hit.
    void discardAll() noexcept { readIndex.store (writeIndex.load (std::memory_order_acquire), std::memory_order_release); }

    std::uint32_t size() const noexcept { return writeIndex.load (std::memory_order_acquire) - readIndex.load (std::memory_order_acquire); }

private:
    std::array<HitRecord, capacity> slots {};
    std::atomic<std::uint32_t> writeIndex { 0 };
    std::atomic<std::uint32_t> readIndex { 0 };
};

} // namespace bopwell
