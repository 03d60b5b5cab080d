#pragma once
// What the module's exported entry does, kept out of the export itself so that tests can call
// it in-process.
bool ClapModuleInit(const char* path);
void ClapModuleDeinit();
const void* ClapModuleFactory(const char* id);
