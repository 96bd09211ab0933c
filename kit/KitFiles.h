#pragma once

// The Kelvane kit's IBIS and AMI files: kelvane_tx.ami and kelvane_rx.ami, rendered from the models'
// parameter tables, and kelvane.ibs, whose [Algorithmic Model] sections name the libraries of one build
// (32 or 64 bits) and those two files. gen_kit_files writes them beside the libraries at build time.

#include <string>
#include <vector>

#include "kit/AmiFile.h"

namespace kit {

enum class KitModel { Transmitter, Receiver };

struct KitFile {
    std::string name;  // file name, written into the kit folder
    std::string text;
};

extern const char* const kTxAmiFileName;
extern const char* const kRxAmiFileName;
extern const char* const kIbsFileName;
extern const char* const kIbisVersion;  // of the .ibs and, as AMI_Version, of the .ami files

// Whether `bits` names a build the kit has: 32 or 64.
bool IsKitBitness(int bits);

// The model library's file name in the build of `bits` bits ("kelvane_tx_x64.so", "kelvane_rx.so", ...).
std::string LibraryFileName(KitModel model, int bits);

// Platform_Compiler_Bits of the Executable lines: "Linux_gcc<version>_<bits>", with the version of the
// compiler that built this program (and so the libraries of its build), or "Linux_gcc_<bits>" when the
// compiler gives none.
std::string PlatformName(int bits);

// Bits a simulator should leave out of its analysis while the receiver adapts at its default settings.
int ReceiverIgnoreBits(const std::vector<AmiParameter>& receiverParameters);

AmiModel TransmitterAmiModel();
AmiModel ReceiverAmiModel();

// The three files for the build of `bits` bits (32 or 64), in writing order. Throws std::invalid_argument
// for any other bitness.
std::vector<KitFile> KitFiles(int bits);

}  // namespace kit
