#!/usr/bin/env bash
# Exits 0 when this machine can run 32-bit programs, that is, when Wine's 32-bit loader starts.
# Some kernels are built or booted without 32-bit emulation ("Exec format error" for every i386
# program); there only the 64-bit DLL can be tried under Wine.
/usr/lib/wine/wine --version >/dev/null 2>&1
