#include "app/app.h"

int main(int argc, char** argv) { return vorpel::runApplication(argc, argv); }
