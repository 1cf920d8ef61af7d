// quilldata: the command line over the QuillData library.
#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
  return QuillData::cli::Main(argc, argv, std::cout, std::cerr);
}
