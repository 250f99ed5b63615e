// tessal-cli's help: the fixed text, and one entry per registered command,
// so that --help, the manual page and the shell completion list the same
// commands.
#include "cli/Cli.h"

namespace cli {

namespace {

help::ProgramHelp MakeHelp() {
  help::ProgramHelp h{
      "tessal-cli",
      "print what Tessal's panels show about a disc or disc image",
      {"[--json] COMMAND [SOURCE] [ARGS...]", "COMMAND --help", "--help | --version"},
      "Reads an optical drive or a disc image file exactly as the Tessal window does\n"
      "and prints what its panels show: tab-separated text, or JSON with --json.\n"
      "SOURCE is a disc image file or an optical drive node such as /dev/sr0.\n"
      "\n"
      "The examples read the sample discs; run them in the folder that holds them,\n"
      "share/tessal/samples under the installation prefix.\n",
      {
          {"--json", "print the same data as JSON\n"},
          {"-h, --help", "show this text; after a COMMAND, that command's own help\n"},
          {"--version", "print the version and exit\n"},
      },
      {},
      {
          {"0", "success\n"},
          {"1", "the operation failed: the source cannot be read, or sectors were\nunreadable in a copy\n"},
          {"2", "usage error: unknown command or option, or missing arguments\n"},
      },
      {
          {"TESSAL_NO_DRIVES", "when set (to any value), the optical drives are left out\n"},
      },
      {
          {"tessal-cli devices", "list the optical drives\n"},
          {"tessal-cli info mixed-mode.cue", "medium, sessions, tracks and CD-TEXT of a CUE sheet's disc\n"},
          {"tessal-cli --json toc /dev/sr0", "the track list of the disc in the first drive, as JSON\n"},
          {"tessal-cli ls mixed-mode.cue /Documents", "the files and folders in the folder Documents\n"},
          {"tessal-cli extract mixed-mode.cue /Documents .", "copy the folder Documents into the current folder\n"},
          {"tessal-cli save-track mixed-mode.cue 2 track2.wav", "save audio track 2 as a WAV file\n"},
          {"tessal-cli sector mixed-mode.cue 16 --raw", "sector 16 as 2352 raw bytes in hex\n"},
          {"tessal-cli scan cdrom-xa.cue", "list every sector of the disc that cannot be read\n"},
          {"tessal-cli image /dev/sr0 disc.cue",
           "rescue the whole disc into disc.bin and disc.cue, with the ddrescue mapfile disc.bin.map\n"},
          {"tessal-cli image /dev/sr0 disc.cue --resume",
           "go on with that rescue later, or in another drive, reading only what the map says is missing\n"},
      },
      {"tessal(1)"},
  };
  for (const Command& c : Commands()) {
    const std::string term = std::string(c.name) + (c.arguments[0] ? " " : "") + c.arguments;
    h.commands.push_back({term, std::string(c.summary) + "\n", c.help ? c.help : ""});
  }
  return h;
}

}  // namespace

const help::ProgramHelp& CliHelp() {
  static const help::ProgramHelp h = MakeHelp();
  return h;
}

}  // namespace cli
