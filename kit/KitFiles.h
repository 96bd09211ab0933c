#pragma once

// The Kelvane kit's IBIS and AMI files: kelvane_tx.ami and kelvane_rx.ami, rendered from the models'
// parameter tables, and kelvane.ibs, whose [Algorithmic Model] sections name, for every platform the kit
// ships (Linux and Windows, 32 and 64 bits), that platform's library and the model's .ami file.
// gen_kit_files writes them beside the libraries at build time.

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

enum class KitSystem { Linux, Windows };

struct KitPlatform {
    KitSystem system;
    int bits;  // 32 or 64
};

// Every platform the kit ships libraries for, in the order the .ibs lists them: Windows 64, Windows 32,
// Linux 64, Linux 32.
std::vector<KitPlatform> KitPlatforms();

// The model library's file name on a platform ("kelvane_tx_x64.so", "kelvane_rx.dll", ...). Throws
// std::invalid_argument for a bitness other than 32 or 64.
std::string LibraryFileName(KitModel model, KitPlatform platform);

// Platform_Compiler_Bits of the Executable lines: "Windows_VisualStudio_<bits>" for the DLLs (they keep the
// C calling convention and link their runtime statically, so hosts built with Visual Studio load them), and
// "Linux_gcc<version>_<bits>", with the version of the compiler that built this program (and so the Linux
// libraries), or "Linux_gcc_<bits>" when the compiler gives none.
std::string PlatformName(KitPlatform platform);

// Bits a simulator should leave out of its analysis while the receiver adapts at its default settings.
int ReceiverIgnoreBits(const std::vector<AmiParameter>& receiverParameters);

AmiModel TransmitterAmiModel();
AmiModel ReceiverAmiModel();

// The three files, in writing order.
std::vector<KitFile> KitFiles();

}  // namespace kit
