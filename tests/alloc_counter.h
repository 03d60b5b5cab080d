#pragma once
// Every allocation of a test program that links this goes through a counting operator new
// (alloc_counter.cpp), so a test can prove that a code path allocates nothing.
long AllocationCount();
