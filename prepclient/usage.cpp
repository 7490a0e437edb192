#include "usage.h"

void printUsage(Console& console) {
    print(console,
          "Ostrelle %s, image preparation client\n"
          "Removes devices whose installation failed and ghost network adapters, prints the\n"
          "Windows version readings and the OperatingSystem code, and writes the code to\n"
          "OSType.txt in the current directory.\n"
          "\n"
          "Usage:\n"
          "  Ostrelle.exe [ErrMsgOutputFilePath]  full run; the argument is accepted, not used\n"
          "  Ostrelle.exe /whatif                 preview: prints the removals prefixed\n"
          "                                       \"What if: \", removes nothing and writes\n"
          "                                       no OSType.txt\n"
          "  Ostrelle.exe /?                      this text (also -h or --help)\n"
          "\n"
          "Exit codes: 0 done; 0x50001 (327681) more than one argument, nothing done.\n",
          IMAGEPREP_VERSION);
}
