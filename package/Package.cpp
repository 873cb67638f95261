// The package unit: what identifies one package library.
#ifndef TABRIX_PACKAGE
#error TABRIX_PACKAGE names the package being built
#endif

extern "C" {
__attribute__((visibility("default"))) extern const char TabrixPackageName[] = TABRIX_PACKAGE;
__attribute__((visibility("default"))) extern const char TabrixPackageDescription[] =
    "Tabrix ODBC data source components";
}
