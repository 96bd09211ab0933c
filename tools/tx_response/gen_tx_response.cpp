// Writes tx/data/TxResponseTable.cpp, the transmitter's stored impulse response, after checking every fact the
// table must satisfy; refuses (exit status 1, nothing written) when one fails.
//
//     gen_tx_response [--csv <file.csv>] [<TxResponseTable.cpp>]

#include "TableWriter.h"
#include "TxResponseDesign.h"
#include "TxResponseFacts.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

namespace {

int usage()
{
    std::cerr << "usage: gen_tx_response [--csv <file.csv>] [<TxResponseTable.cpp>]\n";
    return 2;
}

// Writes the whole text or nothing: a failed write removes the partial file.
bool writeFile(const std::string& path, const std::string& text)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (out && out.write(text.data(), static_cast<std::streamsize>(text.size())) && out.flush())
            return true;
    }
    std::remove(path.c_str());
    std::cerr << "gen_tx_response: cannot write " << path << "\n";
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string sourcePath, csvPath;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--csv") == 0 && i + 1 < argc)
            csvPath = argv[++i];
        else if (argv[i][0] != '-' && sourcePath.empty())
            sourcePath = argv[i];
        else
            return usage();
    }
    if (sourcePath.empty() && csvPath.empty())
        return usage();

    try {
        const TxResponse response = designTxResponse();
        const tx_response_facts::Report report = tx_response_facts::Check(response.times, response.values);
        if (!report.failures.empty()) {
            for (const std::string& failure : report.failures)
                std::cerr << "gen_tx_response: " << failure << "\n";
            std::cerr << "gen_tx_response: refusing to write a table that misses a fact\n";
            return 1;
        }
        std::printf("DC gain %.17g (%lld ulp from target), bump weight %.6g, sample %d trimmed by %.6g\n",
                    report.dcGain, static_cast<long long>(report.dcGainUlps), response.bumpWeight,
                    response.trimIndex, response.trimCorrection);
        std::printf("next-lowest value %.4f %% above the minimum, next-highest %.4f %% below the maximum\n",
                    100.0 * report.minimumMargin, 100.0 * report.maximumMargin);
        if (!sourcePath.empty() && !writeFile(sourcePath, tableSource(response)))
            return 1;
        if (!csvPath.empty() && !writeFile(csvPath, tableCsv(response)))
            return 1;
    } catch (const std::exception& e) {
        std::cerr << "gen_tx_response: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
