// Output side of the link simulator: JSON summary, SVG plots, eye image, HTML report, CSV waveforms.
//
// Set KSIM_REPORT_SAMPLE_DIR to an existing folder to keep the sample run folder that
// ReportFiles.WritesEveryFileOfARun renders (for a look in a browser).

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "sim/SimResults.h"
#include "sim/report/Base64.h"
#include "sim/report/ColourMap.h"
#include "sim/report/EyeImage.h"
#include "sim/report/HtmlReport.h"
#include "sim/report/NumberFormat.h"
#include "sim/report/ReportFiles.h"
#include "sim/report/ReportPlots.h"
#include "sim/report/SummaryJson.h"
#include "sim/report/SvgPlot.h"
#include "sim/report/WaveformCsv.h"

namespace ksim {
namespace {

namespace fs = std::filesystem;

constexpr double kBitTime = 3.571428571428571e-11;
const double kPi = std::acos(-1.0);

// An eye of NRZ traces with smooth transitions, a little ISI, noise and jitter, folded over 2 UI.
void FillSyntheticEye(EyeAnalysis& eye, std::mt19937& rng, int traces) {
    eye.phaseBins = 128;
    eye.levelBins = 160;
    eye.levelMinV = -0.3;
    eye.levelMaxV = 0.3;
    eye.density.assign(static_cast<std::size_t>(eye.phaseBins) * eye.levelBins, 0);
    std::normal_distribution<double> noise(0.0, 0.007), jitter(0.0, 0.018);
    std::bernoulli_distribution bit(0.5);
    auto Edge = [](double x) {  // 0 before -0.3 UI, 1 after +0.3 UI
        if (x <= -0.3) return 0.0;
        if (x >= 0.3) return 1.0;
        return 0.5 - 0.5 * std::cos(kPi * (x + 0.3) / 0.6);
    };
    for (int t = 0; t < traces; ++t) {
        const double b[4] = {bit(rng) ? 1.0 : -1.0, bit(rng) ? 1.0 : -1.0, bit(rng) ? 1.0 : -1.0,
                             bit(rng) ? 1.0 : -1.0};  // bits centred at -1, 0, +1 UI and an earlier one for ISI
        const double shift = jitter(rng);
        for (int c = 0; c < eye.phaseBins; ++c) {
            const double phase = -1 + 2.0 * (c + 0.5) / eye.phaseBins + shift;
            double v = b[0];
            v += (b[1] - b[0]) * Edge(phase + 0.5);
            v += (b[2] - b[1]) * Edge(phase - 0.5);
            const double level = 0.2 * v + 0.025 * b[3] + noise(rng);
            const int row = static_cast<int>((eye.levelMaxV - level) / (eye.levelMaxV - eye.levelMinV) * eye.levelBins);
            if (row >= 0 && row < eye.levelBins) ++eye.density[static_cast<std::size_t>(row) * eye.phaseBins + c];
        }
    }
    eye.traces = static_cast<std::size_t>(traces);
    eye.heightV = 0.268;
    eye.widthUi = 0.703;
    eye.samplingPhaseUi = 0.5;
}

// A plausible run: the clock acquires with a damped ringing of its period, the adaptation sweeps 16 equaliser
// settings and then climbs the DFE taps.
RunReport SyntheticReport(std::uint64_t bits, int eyeTraces) {
    std::mt19937 rng(7);
    std::normal_distribution<double> unit(0.0, 1.0);
    RunReport r;
    r.toolVersion = "0.1.0";
    r.txLibrary = "build/x64/kit/kelvane_tx_x64.so";
    r.rxLibrary = "build/x64/kit/kelvane_rx_x64.so";
    r.txParameters = "(kelvane_tx (c0 12) (c1 -2) (cm1 -1) (c0_sign 0) (c1_sign 1) (cm1_sign 1))";
    r.rxParameters = "(kelvane_rx (Rx_config 1) (CTLEAdapt 1) (EOM_window 2000) (DFEtap1 0) (DFETap1Limit 0.3))";
    r.rxInitMessage = "";
    r.bitTime = kBitTime;
    r.samplesPerBit = 32;
    r.sampleInterval = kBitTime / 32;
    r.prbs = "PRBS-15, seed 1";
    r.bits = bits;
    r.noiseRmsV = 0.002;
    r.blockSize = 1024;

    ChannelInfo& ch = r.channel;
    ch.kind = "analytic";
    ch.source = "skin effect and dielectric loss, 15 dB at 14 GHz";
    ch.lossDbAtNyquist = 15.0;
    ch.dcGain = 0.982;
    ch.sampleInterval = r.sampleInterval;
    ch.delaySamples = 2150;
    std::vector<double> impulse(60 * 32);
    double area = 0;
    for (std::size_t i = 0; i < impulse.size(); ++i) {
        const double t = i / 32.0 - 2;  // [UI] after the trimmed flight delay
        if (t <= 0) continue;
        impulse[i] = t * t * std::exp(-t / 0.55) + 0.02 * std::exp(-t / 9.0) * (1 - std::exp(-t / 0.5));
        area += impulse[i];
    }
    double cumulative = 0;
    std::vector<double> step(impulse.size());
    for (std::size_t i = 0; i < impulse.size(); ++i) step[i] = cumulative += impulse[i] * ch.dcGain / area;
    ch.pulseResponse.resize(impulse.size());
    for (std::size_t i = 0; i < step.size(); ++i) ch.pulseResponse[i] = step[i] - (i >= 32 ? step[i - 32] : 0.0);

    // the clock's frequency error rings down while its phase slips a few UI, plus white edge jitter
    ClockAnalysis& clock = r.clock;
    double t = 0, slip = 0.2, lastJitter = 0;
    for (std::uint64_t k = 0; k < bits; ++k) {
        const double us = t * 1e6;
        const double frequencyError = 0.006 * std::exp(-us / 0.25) * std::cos(2 * kPi * us / 0.5);
        const double jitter = 0.0025 * unit(rng);
        const double period = 1 + frequencyError + jitter - lastJitter;
        lastJitter = jitter;
        slip += frequencyError;
        t += period * kBitTime;
        clock.timesS.push_back(t);
        if (k > 0) clock.periodsUi.push_back(period);
        const double phase = slip + jitter;
        clock.phaseUi.push_back(phase - std::round(phase));
    }
    clock.edges = bits;
    clock.locked = true;
    clock.lockTimeS = 1.12e-6;
    clock.meanPeriodUi = 1.0000003;
    clock.frequencyOffsetPpm = 0.3;
    clock.rmsJitterUi = 0.0041;

    AdaptationSummary& a = r.adaptation;
    for (int i = 0; i < 16; ++i) {
        AdaptationStep s;
        s.tableIndex = i;
        s.ctleColumn = 64 * i + 9;
        s.vgaGain = 3;
        s.eqHighGain = i;
        s.heo = 0.62 - 0.0022 * (i - 9) * (i - 9);
        s.veo = 0.16 - 0.0012 * (i - 9) * (i - 9);
        a.steps.push_back(s);
    }
    const double finalTaps[5] = {0.041, 0.017, -0.006, 0.004, -0.002};
    for (int i = 1; i <= 30; ++i) {
        AdaptationStep s = a.steps[9];
        const double progress = 1 - std::exp(-i / 7.0);
        for (int tap = 0; tap < 5; ++tap) s.taps[tap] = std::round(finalTaps[tap] * progress * 1000) / 1000;
        s.heo = 0.62 + 0.07 * progress;
        s.veo = 0.16 + 0.09 * progress;
        a.steps.push_back(s);
    }
    a.complete = true;
    a.chosenTableIndex = 9;
    a.chosenColumn = 585;
    for (int tap = 0; tap < 5; ++tap) a.finalTaps[tap] = a.steps.back().taps[tap];
    a.completedAtS = 5.84e-6;

    BerResult& ber = r.ber;
    ber.aligned = true;
    ber.latencyBits = 37;
    ber.ignoredBits = 163520 < bits ? 163520 : bits / 2;
    ber.bitsCompared = bits - ber.ignoredBits - 64;
    ber.errors = 0;

    FillSyntheticEye(r.eye, rng, eyeTraces);
    r.wallSeconds = 38.4;
    r.samplesPerSecond = static_cast<double>(bits) * 32 * 3 / r.wallSeconds;
    r.warnings.push_back("adapt.txt held 12 lines from an earlier run; they were skipped");
    return r;
}

fs::path TempFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / ("ksim_report_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t CountOccurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// Points of every polyline in an SVG, in document order.
std::vector<std::size_t> PolylinePointCounts(const std::string& svg) {
    std::vector<std::size_t> counts;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) {
        const std::size_t begin = svg.find(" points=\"", at) + 9;
        const std::string points = svg.substr(begin, svg.find('"', begin) - begin);
        counts.push_back(CountOccurrences(points, ","));
    }
    return counts;
}

// Targets of every src="...", href="..." and url(...) in a page.
std::vector<std::string> References(const std::string& html) {
    std::vector<std::string> targets;
    for (const std::string opener : {"src=\"", "href=\"", "url("}) {
        const char closer = opener == "url(" ? ')' : '"';
        for (std::size_t at = html.find(opener); at != std::string::npos; at = html.find(opener, at + 1)) {
            const std::size_t begin = at + opener.size();
            targets.push_back(html.substr(begin, html.find(closer, begin) - begin));
        }
    }
    return targets;
}

TEST(Base64, MatchesTheStandardsTestVectors) {
    EXPECT_EQ(Base64Encode(std::string("")), "");
    EXPECT_EQ(Base64Encode(std::string("f")), "Zg==");
    EXPECT_EQ(Base64Encode(std::string("fo")), "Zm8=");
    EXPECT_EQ(Base64Encode(std::string("foo")), "Zm9v");
    EXPECT_EQ(Base64Encode(std::string("foob")), "Zm9vYg==");
    EXPECT_EQ(Base64Encode(std::string("fooba")), "Zm9vYmE=");
    EXPECT_EQ(Base64Encode(std::string("foobar")), "Zm9vYmFy");
    // the two characters beyond the letters and digits, and bytes with the top bit set
    EXPECT_EQ(Base64Encode(std::vector<unsigned char>{0xfb, 0xff, 0xbf}), "+/+/");
    EXPECT_EQ(Base64Encode(std::vector<unsigned char>{0x00, 0x10, 0x83, 0x10, 0x51, 0x87}), "ABCDEFGH");
    EXPECT_EQ(Base64Encode(std::vector<unsigned char>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}), "iVBORw0KGgo=");
}

TEST(NumberFormat, KnownTexts) {
    EXPECT_EQ(FormatCount(0), "0");
    EXPECT_EQ(FormatCount(999), "999");
    EXPECT_EQ(FormatCount(1000), "1,000");
    EXPECT_EQ(FormatCount(1234567), "1,234,567");
    EXPECT_EQ(FormatScientific(2.9957e-6, 2), "3.0e-6");
    EXPECT_EQ(FormatScientific(-1.25e12, 3), "-1.25e12");
    EXPECT_EQ(FormatScientific(0, 3), "0");
    EXPECT_EQ(FormatFixed(-0.0001, 2), "0.00");
    EXPECT_EQ(FormatFixed(std::nan(""), 2), "n/a");
}

TEST(SummaryJson, RoundTripsTheKeyFigures) {
    RunReport r = SyntheticReport(20000, 200);
    r.rxInitMessage = "bad byte \xff in a model message";
    r.clock.rmsJitterUi = std::nan("");
    const nlohmann::json j = nlohmann::json::parse(SummaryJsonText(r));

    EXPECT_EQ(j["tool"]["version"], "0.1.0");
    EXPECT_EQ(j["parameters"]["tx"], r.txParameters);
    EXPECT_EQ(j["libraries"]["rx"], r.rxLibrary);
    EXPECT_EQ(j["timing"]["bit_time_s"].get<double>(), kBitTime);  // written to full precision
    EXPECT_NEAR(j["timing"]["bit_rate_gbps"].get<double>(), 28.0, 1e-9);
    EXPECT_EQ(j["timing"]["samples_per_bit"], 32);
    EXPECT_EQ(j["stimulus"]["bits"], 20000u);
    EXPECT_EQ(j["channel"]["loss_db_at_nyquist"].get<double>(), 15.0);
    EXPECT_EQ(j["channel"]["dc_gain"].get<double>(), r.channel.dcGain);
    EXPECT_EQ(j["channel"]["pulse_response"]["samples"], r.channel.pulseResponse.size());
    EXPECT_EQ(j["channel"]["pulse_response"]["first_cursor"], -2);
    EXPECT_EQ(j["channel"]["pulse_response"]["cursors_v"].size(), 13u);
    EXPECT_EQ(j["ber"]["latency_bits"], 37);
    EXPECT_EQ(j["ber"]["errors"], 0u);
    EXPECT_EQ(j["ber"]["bits_compared"], r.ber.bitsCompared);
    EXPECT_NEAR(j["ber"]["ber_limit_95"].get<double>(), 2.995732273553991 / r.ber.bitsCompared, 1e-15);
    EXPECT_TRUE(j["verdict"]["clock_locked"].get<bool>());
    EXPECT_TRUE(j["verdict"]["error_free"].get<bool>());
    EXPECT_EQ(j["clock"]["lock_time_s"].get<double>(), 1.12e-6);
    EXPECT_EQ(j["clock"]["frequency_offset_ppm"].get<double>(), 0.3);
    EXPECT_TRUE(j["clock"]["rms_jitter_ui"].is_null());  // NaN has no JSON number
    EXPECT_EQ(j["clock"]["period_trace"]["time_us"].size(), 500u);
    EXPECT_EQ(j["eye"]["height_v"].get<double>(), 0.268);
    EXPECT_EQ(j["eye"]["width_ui"].get<double>(), 0.703);
    EXPECT_EQ(j["adaptation"]["chosen_table_index"], 9);
    EXPECT_EQ(j["adaptation"]["steps"].size(), r.adaptation.steps.size());
    EXPECT_EQ(j["adaptation"]["steps"][3]["merit"].get<double>(), r.adaptation.steps[3].Merit());
    EXPECT_EQ(j["adaptation"]["final_taps_v"][0].get<double>(), r.adaptation.finalTaps[0]);
    EXPECT_EQ(j["performance"]["wall_seconds"].get<double>(), 38.4);
    EXPECT_EQ(j["warnings"].size(), 1u);
    EXPECT_EQ(j["init_messages"]["rx"], "bad byte \xEF\xBF\xBD in a model message");
    EXPECT_EQ(j.dump().find("density"), std::string::npos);  // the big arrays stay out
}

TEST(SummaryJson, EmptyReportAndUnwritablePath) {
    const nlohmann::json j = nlohmann::json::parse(SummaryJsonText(RunReport{}));
    EXPECT_FALSE(j["verdict"]["error_free"].get<bool>());
    EXPECT_TRUE(j["ber"]["ber_limit_95"].is_null());
    EXPECT_TRUE(j["clock"]["period_trace"]["time_us"].empty());
    try {
        WriteSummaryJson(RunReport{}, "/nonexistent-folder/summary.json");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-folder/summary.json"), std::string::npos);
    }
}

TEST(SvgPlot, MinMaxDecimationKeepsSpikesAndTheRequestedCount) {
    std::vector<double> x(100000), y(100000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<double>(i);
        y[i] = std::sin(i * 0.001);
    }
    y[31337] = 5;    // spikes that plain subsampling would lose
    y[77777] = -4;
    std::vector<double> kx, ky;
    DecimateMinMax(x, y, 3000, kx, ky);
    ASSERT_EQ(kx.size(), 3000u);
    EXPECT_EQ(*std::max_element(ky.begin(), ky.end()), 5);
    EXPECT_EQ(*std::min_element(ky.begin(), ky.end()), -4);
    EXPECT_TRUE(std::is_sorted(kx.begin(), kx.end()));
    // an odd limit keeps whole pairs; a short series is kept as it is; a flat run keeps its ends
    DecimateMinMax(x, y, 7, kx, ky);
    EXPECT_EQ(kx.size(), 6u);
    DecimateMinMax({1, 2, 3}, {4, 5, 6}, 3, kx, ky);
    EXPECT_EQ(kx, (std::vector<double>{1, 2, 3}));
    DecimateMinMax({0, 1, 2, 3, 4, 5}, {1, 1, 1, 1, 1, 1}, 2, kx, ky);
    EXPECT_EQ(kx, (std::vector<double>{0, 5}));

    PlotOptions options;
    options.maxPoints = 2000;
    PlotSeries series;
    series.x = x;
    series.y = y;
    series.y[5] = std::nan("");  // dropped before decimation
    const std::string svg = RenderLinePlot(options, {series});
    EXPECT_EQ(PolylinePointCounts(svg), std::vector<std::size_t>{2000});
    EXPECT_EQ(svg.find("NaN"), std::string::npos);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
}

TEST(SvgPlot, StepsBreaksTicksAndEscaping) {
    PlotSeries steps;
    steps.steps = true;
    steps.x = {1, 2, 3};
    steps.y = {5, 7, 6};
    PlotSeries wrapped;  // a phase that wraps once: two lines
    wrapped.breakJump = 0.5;
    wrapped.x = {0, 1, 2, 3};
    wrapped.y = {0.3, 0.45, -0.45, -0.3};
    PlotOptions options;
    options.title = "<b>& \"title\"";
    const std::string svg = RenderLinePlot(options, {steps, wrapped});
    EXPECT_EQ(PolylinePointCounts(svg), (std::vector<std::size_t>{5, 2, 2}));  // 3 points and 2 corners
    EXPECT_NE(svg.find("&lt;b&gt;&amp; &quot;title&quot;"), std::string::npos);
    EXPECT_EQ(svg.find("<b>"), std::string::npos);
    EXPECT_EQ(InlineSvg(svg).find("http"), std::string::npos);

    EXPECT_NE(RenderLinePlot(PlotOptions{}, {}).find("no data"), std::string::npos);

    double step = 0;
    const std::vector<double> unit = NiceTicks(0, 1, 5, false, step);
    EXPECT_DOUBLE_EQ(step, 0.2);
    ASSERT_EQ(unit.size(), 6u);
    EXPECT_EQ(unit.front(), 0);
    EXPECT_EQ(unit.back(), 1);
    const std::vector<double> ticks = NiceTicks(-0.37, 12.2, 6, false, step);
    EXPECT_EQ(step, 2);
    EXPECT_EQ(ticks.front(), 0);
    EXPECT_EQ(ticks.back(), 12);
    NiceTicks(0, 3, 10, true, step);
    EXPECT_EQ(step, 1);
}

TEST(ReportPlots, ClockPlotsFollowTheLockedClock) {
    // a clock locked right at the wrap point: its phase alternates between +0.49 and -0.49 UI
    RunReport r;
    r.bitTime = kBitTime;
    r.clock.locked = true;
    r.clock.lockTimeS = 100 * kBitTime;
    for (int k = 0; k < 4000; ++k) {
        r.clock.timesS.push_back((k + 0.49) * kBitTime);
        r.clock.phaseUi.push_back(k % 2 ? -0.49 : 0.49);
        if (k > 0) r.clock.periodsUi.push_back(k % 2 ? 0.98 : 1.02);
    }
    // shown around its mean of 0.5 UI it is one unbroken line
    const std::string phase = ClockPhasePlot(r);
    EXPECT_EQ(PolylinePointCounts(phase), std::vector<std::size_t>{3000});
    EXPECT_NE(phase.find("mean 0.500 UI"), std::string::npos);
    // the period plot adds a running mean over about n / 256 edges, drawn at every (length / 4)th edge
    const std::string period = ClockPeriodPlot(r);
    EXPECT_NE(period.find("mean of 10 edges"), std::string::npos);
    const std::vector<std::size_t> counts = PolylinePointCounts(period);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], 3000u);
    EXPECT_EQ(counts[1], (3999u + 1) / 2);
}

// Decodes a PNG with libpng into 8-bit RGB.
bool DecodePng(const std::vector<unsigned char>& bytes, int& width, int& height, std::vector<unsigned char>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}

TEST(EyeImage, PngDecodesToTheBinGridWithTheColourScale) {
    EyeAnalysis eye;
    eye.phaseBins = 5;
    eye.levelBins = 3;
    eye.density.assign(15, 0);
    eye.density[0] = 1000;  // top-left: the largest count
    eye.density[1 * 5 + 2] = 1;
    eye.density[2 * 5 + 4] = 31;  // about half way on the log scale
    const std::vector<unsigned char> png = EncodeEyePng(eye);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    ASSERT_GE(png.size(), 8u);
    EXPECT_TRUE(std::equal(signature, signature + 8, png.begin()));

    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(DecodePng(png, width, height, rgb));
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 3);
    auto Pixel = [&](int row, int col) {
        const std::size_t at = (static_cast<std::size_t>(row) * width + col) * 3;
        return Rgb{rgb[at], rgb[at + 1], rgb[at + 2]};
    };
    auto Same = [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
    EXPECT_TRUE(Same(Pixel(0, 0), Inferno(1)));
    EXPECT_TRUE(Same(Pixel(0, 1), Rgb{}));  // empty bins are black
    EXPECT_TRUE(Same(Pixel(1, 2), Inferno(kEyeFirstShade)));
    EXPECT_TRUE(Same(Pixel(2, 4), Inferno(EyeShade(31, 1000))));

    EXPECT_DOUBLE_EQ(EyeShade(0, 1000), 0);
    EXPECT_DOUBLE_EQ(EyeShade(1000, 1000), 1);
    EXPECT_NEAR(EyeShade(1000, 1000000), kEyeFirstShade + (1 - kEyeFirstShade) * 0.5, 1e-12);
    EXPECT_TRUE(Same(Inferno(0), Rgb{0, 0, 4}));
    EXPECT_TRUE(Same(Inferno(0.52), Rgb{195, 60, 79}));  // a fifth of the way between two anchors

    EXPECT_EQ(EyePngDataUri(eye).rfind("data:image/png;base64,iVBORw0KGgo", 0), 0u);
    eye.density.pop_back();
    EXPECT_FALSE(EyeHasImage(eye));
    EXPECT_THROW(EncodeEyePng(eye), std::runtime_error);
    EXPECT_THROW(EncodeRgbPng(0, 3, {}), std::runtime_error);
}

// A stand-in for the charting library: the page must carry whatever text it is given, once.
const char kStandInLibrary[] = "window.Plotly = { newPlot: function () {} };";

// Both views: static SVG charts (no library) and interactive ones (each chart a box and its figure).
TEST(HtmlReport, SelfContainedEscapedAndEmbedsTheEye) {
    for (const bool interactive : {false, true}) {
        SCOPED_TRACE(interactive ? "interactive charts" : "static charts");
        RunReport r = SyntheticReport(20000, 300);
        HtmlReportOptions options;
        options.chartLibrary = interactive ? kStandInLibrary : "";
        EXPECT_EQ(RenderHtmlReport(r, options).find("http"), std::string::npos);  // not even an SVG namespace

        const std::string hostile = "<script>alert('x')</script> & \"javascript:x\"";
        r.txInitMessage = hostile;
        r.rxParameters = "(kelvane_rx <img src=\"/etc/passwd\">)";
        r.warnings.push_back(hostile);
        r.channel.source = "<iframe src=\"https://x\">";
        options.files = {"summary.json", "waves rx.csv", "http://x/y", "/etc/passwd"};
        const std::string html = RenderHtmlReport(r, options);

        // the only scripts are the library, the code that draws the charts and one figure per chart
        const std::size_t charts = interactive ? 8 : 0;  // eye, 2 clock, 3 adaptation, insertion loss, pulse
        EXPECT_EQ(CountOccurrences(html, "<script"), interactive ? charts + 2 : 0u);
        EXPECT_EQ(CountOccurrences(html, "<script type=\"application/json\" data-chart="), charts);
        EXPECT_EQ(CountOccurrences(html, kStandInLibrary), interactive ? 1u : 0u);
        EXPECT_EQ(html.find("<img"), std::string::npos);
        EXPECT_EQ(html.find("<iframe"), std::string::npos);
        EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);

        // every reference is a data: URI, an in-page fragment or a run-folder file named relative to the report
        std::size_t dataUris = 0;
        for (const std::string& target : References(html)) {
            if (target.rfind("data:image/png;base64,", 0) == 0) {
                ++dataUris;
            } else {
                EXPECT_TRUE(target[0] == '#' || target == "summary.json" || target == "waves%20rx.csv") << target;
            }
        }
        // the static eye embeds its image; the interactive one is a heat map of the same bins
        EXPECT_EQ(dataUris, interactive ? 0u : 1u);
        EXPECT_EQ(html.find("data:image/png;base64,iVBORw0KGgo") != std::string::npos, !interactive);
        EXPECT_EQ(html.find("src=\"/"), std::string::npos);
        EXPECT_EQ(html.find("href=\"/"), std::string::npos);

        EXPECT_NE(html.find("Error free"), std::string::npos);
        EXPECT_NE(html.find(FormatCount(r.ber.bitsCompared)), std::string::npos);
        EXPECT_EQ(CountOccurrences(html, "<svg"), interactive ? 0u : 8u);
        EXPECT_EQ(CountOccurrences(html, "\"type\":\"heatmap\""), interactive ? 1u : 0u);
        EXPECT_EQ(CountOccurrences(html, "<tr class=\"chosen\">"), 31u);  // its sweep step and the 30 DFE steps
    }
}

TEST(HtmlReport, FailedRunStillRenders) {
    for (const bool interactive : {false, true}) {
        SCOPED_TRACE(interactive ? "interactive charts" : "static charts");
        RunReport r;
        r.ber.aligned = false;
        HtmlReportOptions options;
        options.chartLibrary = interactive ? kStandInLibrary : "";
        const std::string html = RenderHtmlReport(r, options);
        EXPECT_NE(html.find("Not locked"), std::string::npos);
        EXPECT_NE(html.find("Not complete"), std::string::npos);
        EXPECT_NE(html.find("Not aligned"), std::string::npos);
        EXPECT_NE(html.find("no eye data"), std::string::npos);
        EXPECT_GE(CountOccurrences(html, "no data"), 6u);
        EXPECT_EQ(html.find("data:image"), std::string::npos);
    }
}

TEST(WaveformCsv, WritesColumnsOfUnequalLength) {
    const fs::path folder = TempFolder("csv");
    const std::vector<double> t = {0, 1.25e-12, 2.5e-12}, v = {0.5, -0.25};
    WriteWaveformCsv((folder / "w.csv").string(), {{"time_s", &t}, {"rx \"in\", V", &v}});
    EXPECT_EQ(ReadFile(folder / "w.csv"), "time_s,\"rx \"\"in\"\", V\"\n0,0.5\n1.25e-12,-0.25\n2.5e-12,\n");
    EXPECT_THROW(WriteWaveformCsv((folder / "x.csv").string(), {{"a", nullptr}}), std::runtime_error);
    EXPECT_THROW(WriteWaveformCsv((folder / "no" / "x.csv").string(), {{"a", &t}}), std::runtime_error);
    fs::remove_all(folder);
}

TEST(ReportFiles, WritesEveryFileOfARun) {
    const char* keep = std::getenv("KSIM_REPORT_SAMPLE_DIR");
    const fs::path folder = keep != nullptr ? fs::path(keep) : TempFolder("run");
    const RunReport r = SyntheticReport(keep != nullptr ? 1000000 : 50000, keep != nullptr ? 40000 : 2000);
    const std::vector<std::string> files = WriteReportFiles(r, folder.string(), {"waves.csv"});
    ASSERT_EQ(files.size(), 11u);
    EXPECT_EQ(files.back(), "report.html");
    for (const std::string& name : files) {
        EXPECT_GT(fs::file_size(folder / name), 100u) << name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".svg") {
            const std::string svg = ReadFile(folder / name);
            EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u) << name;
            EXPECT_EQ(svg.find("n/a"), std::string::npos) << name;
        }
    }
    // decimation keeps the period plot small whatever the run length
    EXPECT_LT(fs::file_size(folder / "clock_period.svg"), 80000u);
    EXPECT_NE(ReadFile(folder / "report.html").find("href=\"waves.csv\""), std::string::npos);
    if (keep == nullptr) fs::remove_all(folder);
}

}  // namespace
}  // namespace ksim
