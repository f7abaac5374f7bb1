// brenvikctl: drive, watch, record and plot the brenvik_robot controller from a terminal.

#include <iostream>

#include "brenvikctl/brenvikctl.h"

int main(int argc, char** argv) {
  return brenvikctl::Brenvikctl::run(argc, argv, std::cout, std::cerr);
}
