#include "ui/application.h"

int main(int argc, char** argv) { return zt::ui::RunApplication(argc, argv); }
