// The files and the code page the tests keep their data in: the POSIX
// services where they are built, portable stand-ins elsewhere (the Windows
// cross build).
#pragma once

#ifdef TAVORI_TESTS_PORTABLE_DISK
#include "portable/portable_files.h"
#include "portable/table_code_page.h"
#else
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"
#endif

namespace tav::test {

#ifdef TAVORI_TESTS_PORTABLE_DISK
using DiskFiles = PortableFiles;
using GbkCodePage = TableCodePage;
#else
using DiskFiles = PosixFiles;
using GbkCodePage = IconvCodePage;
#endif

}  // namespace tav::test
