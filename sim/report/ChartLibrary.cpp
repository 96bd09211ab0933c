#include "sim/report/ChartLibrary.h"

namespace ksim {

#ifdef KSIM_CHART_LIBRARY_VERSION
extern const char ksimChartLibrary[] asm("ksim_chart_library");  // ends with a zero byte

std::string_view EmbeddedChartLibrary() { return std::string_view(ksimChartLibrary); }

std::string EmbeddedChartLibraryName() { return std::string("plotly.js ") + KSIM_CHART_LIBRARY_VERSION; }
#else
std::string_view EmbeddedChartLibrary() { return {}; }

std::string EmbeddedChartLibraryName() { return ""; }
#endif

}  // namespace ksim
