// Septet packing and unpacking of a full 160-character text, ours beside libgammu's.
// The *RatioToGammu cases report the reference's time over ours (above 1: we are faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "codec/codec.h"

#ifdef ZV_HAVE_GAMMU
extern "C" {
int GSM_PackSevenBitsToEight(size_t offset, const unsigned char *in, unsigned char *out, size_t length);
int GSM_UnpackEightBitsToSeven(size_t offset, size_t in_length, size_t out_length, const unsigned char *in,
                               unsigned char *out);
}
#endif

namespace {

constexpr size_t kChars = 160;

std::vector<uint8_t> Text() {
    static const char kSample[] = "Your balance is 12.34 EUR. Dial *100# for offers, *101# for data. Thank you! ";
    std::vector<uint8_t> s;
    while (s.size() < kChars) s.push_back(static_cast<uint8_t>(kSample[s.size() % (sizeof kSample - 1)]));
    return s;
}

std::vector<uint8_t> Packed() {
    const std::vector<uint8_t> s = Text();
    std::vector<uint8_t> out(zv::codec::PackedMax(s.size()));
    out.resize(static_cast<size_t>(CompressGsm7bit(s.data(), out.data(), static_cast<int>(s.size()))));
    return out;
}

void BM_PackOurs(benchmark::State &state) {
    const std::vector<uint8_t> in = Text();
    std::vector<uint8_t> out(zv::codec::PackedMax(in.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(CompressGsm7bit(in.data(), out.data(), static_cast<int>(in.size())));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kChars));
}
BENCHMARK(BM_PackOurs);

void BM_UnpackOurs(benchmark::State &state) {
    const std::vector<uint8_t> in = Packed();
    std::vector<uint8_t> out(zv::codec::UnpackedMax(in.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(UncompressGsm7bit(in.data(), out.data(), static_cast<int>(in.size())));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kChars));
}
BENCHMARK(BM_UnpackOurs);

#ifdef ZV_HAVE_GAMMU
void BM_PackGammu(benchmark::State &state) {
    const std::vector<uint8_t> in = Text();
    std::vector<uint8_t> out(in.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(GSM_PackSevenBitsToEight(0, in.data(), out.data(), in.size()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kChars));
}
BENCHMARK(BM_PackGammu);

void BM_UnpackGammu(benchmark::State &state) {
    const std::vector<uint8_t> in = Packed();
    std::vector<uint8_t> out(kChars + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(GSM_UnpackEightBitsToSeven(0, in.size(), kChars, in.data(), out.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kChars));
}
BENCHMARK(BM_UnpackGammu);

// Both implementations timed in alternating blocks of the same run, so the ratio does not
// depend on what else the machine was doing: ratio = reference time / our time (> 1: faster).
template <typename Ours, typename Reference>
void SideBySide(benchmark::State &state, Ours ours, Reference reference) {
    using Clock = std::chrono::steady_clock;
    constexpr int kBlock = 2000;
    Clock::duration oursTime{}, referenceTime{};
    for (auto _ : state) {
        auto t0 = Clock::now();
        for (int i = 0; i < kBlock; ++i) ours();
        auto t1 = Clock::now();
        for (int i = 0; i < kBlock; ++i) reference();
        auto t2 = Clock::now();
        oursTime += t1 - t0;
        referenceTime += t2 - t1;
    }
    state.counters["ratio"] = oursTime.count() > 0
                                  ? static_cast<double>(referenceTime.count()) / static_cast<double>(oursTime.count())
                                  : 0.0;
}

void BM_PackRatioToGammu(benchmark::State &state) {
    const std::vector<uint8_t> in = Text();
    std::vector<uint8_t> a(zv::codec::PackedMax(in.size())), b(in.size());
    SideBySide(
        state,
        [&] {
            benchmark::DoNotOptimize(CompressGsm7bit(in.data(), a.data(), static_cast<int>(in.size())));
            benchmark::ClobberMemory();
        },
        [&] {
            benchmark::DoNotOptimize(GSM_PackSevenBitsToEight(0, in.data(), b.data(), in.size()));
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_PackRatioToGammu);

void BM_UnpackRatioToGammu(benchmark::State &state) {
    const std::vector<uint8_t> in = Packed();
    std::vector<uint8_t> a(zv::codec::UnpackedMax(in.size())), b(kChars + 1);
    SideBySide(
        state,
        [&] {
            benchmark::DoNotOptimize(UncompressGsm7bit(in.data(), a.data(), static_cast<int>(in.size())));
            benchmark::ClobberMemory();
        },
        [&] {
            benchmark::DoNotOptimize(GSM_UnpackEightBitsToSeven(0, in.size(), kChars, in.data(), b.data()));
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_UnpackRatioToGammu);
#endif

}  // namespace
