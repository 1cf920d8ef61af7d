// quilldata: the command line over the QuillData library.
#include <iostream>

#include "tool/Cli.h"

int main(int argc, char** argv) {
  return QuillData::tool::Main(argc, argv, std::cout, std::cerr);
}
