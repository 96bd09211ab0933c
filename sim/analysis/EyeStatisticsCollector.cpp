#include "sim/analysis/EyeStatisticsCollector.h"

#include <limits>

namespace ksim {

EyeStatisticsCollector::EyeStatisticsCollector(const BathtubFolderSettings& settings, const std::string& spillFolder)
    : settings_(settings),
      bathtub_(settings),
      crossings_(settings.sampleInterval, settings.bitTime, settings.waveDelaySamples, spillFolder) {}

void EyeStatisticsCollector::SetFrom(double fromTime) {
    from_ = fromTime;
    until_ = std::numeric_limits<double>::infinity();
    bathtub_.SetFrom(fromTime);
}

void EyeStatisticsCollector::SetUntil(double untilTime) {
    until_ = untilTime;
    bathtub_.SetUntil(untilTime);
}

void EyeStatisticsCollector::AddBlock(const double* equalised, std::size_t n, const double* falling, std::size_t edges) {
    bathtub_.AddWave(equalised, n);
    bathtub_.AddEdges(falling, edges);
    crossings_.AddWave(equalised, n);
}

void EyeStatisticsCollector::Finish(const Series<double>& fallingEdges, RunReport& report) {
    report.bathtub = bathtub_.Finish();
    report.jitter.method =
        "time-interval error against a straight grid fitted by least squares (frequency offset included); "
        "random and deterministic parts from a dual-Dirac fit of the histogram's tails on the Q scale";
    report.jitter.clock = AnalyzeTie(fallingEdges, from_, until_, settings_.bitTime);
    report.jitter.data = AnalyzeTie(SpillSeries<double>(crossings_.Times()), from_, until_, settings_.bitTime);
}

}  // namespace ksim
