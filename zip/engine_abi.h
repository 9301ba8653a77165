// The binary contract between TZipArchiver and the engine libraries ZIPENG.DLL / UNZENG.DLL:
// the command blocks handed to the exec entry points and the record handed to the callback.
// Both sides include this header; nothing else may describe these layouts.
//
// Every block is a template over the width of an address so that both layouts are checked on
// any build: the 32-bit instantiation must match the historic offsets byte for byte, the
// native one (uintptr_t) is what actually crosses the library boundary here. On 64-bit every
// address field (owner window handle, caller, callback, buffers, tables) is 8 bytes wide and
// aligned to 8, so the fields after it move; the 64-bit offsets are listed beside each field.
// Flag fields hold -1 for true and 0 for false. All text is 8-bit and NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pz::zipabi {

inline constexpr std::int32_t kZipInterfaceVersion = 158;
inline constexpr std::int32_t kUnzipInterfaceVersion = 152;
// Engine versions from which the new (short) block layouts are used.
inline constexpr std::int32_t kZipNewLayoutVersion = 151;
inline constexpr std::int32_t kUnzipNewLayoutVersion = 152;
inline constexpr int kOldSpecTableSize = 4097;
inline constexpr std::int32_t kBlockTrailer = 7;
inline constexpr int kPasswordBufferSize = 81;  // 80 characters and a NUL
inline constexpr int kCallbackTextSize = 512;

// The unpacking engine writes each file as "<prefix><process id>-<n>" in its folder first; a
// process that was killed leaves it there for the next run to remove.
inline constexpr const char* kUnpackTempPrefix = ".pzx-unpack-";

inline constexpr std::int32_t kTrue = -1;
inline constexpr std::int32_t kFalse = 0;
inline constexpr std::int32_t Flag(bool b) {
  return b ? kTrue : kFalse;
}

// Callback action codes.
enum Action : std::int32_t {
  kActFileBegins = 1,  // text: file name, size: its size
  kActBytesDone = 2,   // size: bytes just processed
  kActBatchDone = 3,   //
  kActMessage = 4,     // text: message, error: engine error code
  kActFileCount = 5,   // size: number of files the batch processes
  kActSizeTotal = 6,   // size: total bytes to process
};

// Offsets in the comments: 32-bit, then 64-bit.
template <typename Ptr>
struct CallbackRecordT {
  Ptr reserved0;                 //   0        0
  Ptr caller;                    //   4        8
  std::int32_t reserved1;        //   8       16
  std::int32_t reserved2;        //  12       20
  std::int32_t action;           //  16       24
  std::int32_t error;            //  20       28
  std::int32_t size;             //  24       32
  char text[kCallbackTextSize];  //  28       36
};                               // 540      552

// The leading part shared by both zip block layouts.
template <typename Ptr>
struct ZipBlockHeadT {
  Ptr ownerWindow;              //   0        0
  Ptr caller;                   //   4        8
  std::int32_t version;         //   8       16
  Ptr callback;                 //  12       24
  std::int32_t trace;           //  16       32
  Ptr password;                 //  20       40
  std::int32_t reserved24;      //  24       48
  std::int32_t encrypt;         //  28       52
  std::int32_t hiddenFiles;     //  32       56
  std::int32_t reserved36;      //  36       60
  std::int32_t reserved40;      //  40       64
  std::int32_t noSeparateDirs;  //  44       68
  std::int32_t reserved48;      //  48       72
  std::int32_t verbose;         //  52       76
  std::int32_t always56;        //  56       80
  std::int32_t level;           //  60       84
  std::int32_t reserved64;      //  64       88
  std::int32_t reserved68;      //  68       92
  std::int32_t noDirNames;      //  72       96
  std::uint16_t recurse;        //  76      100
  std::uint16_t reserved78;     //  78      102
  std::int32_t always80;        //  80      104
  std::int32_t forceDos;        //  84      108
  std::int32_t move;            //  88      112
  std::int32_t reserved92;      //  92      116
  std::int32_t update;          //  96      120
  std::int32_t freshen;         // 100      124
  std::int32_t reserved104;     // 104      128
  std::int32_t zipTime;         // 108      132
  std::int32_t reserved112;     // 112      136
  std::int32_t reserved116;     // 116      140
  std::int32_t count;           // 120      144
  Ptr archive;                  // 124      152
};

// Engines below version 151.
template <typename Ptr>
struct ZipBlockOldT {
  ZipBlockHeadT<Ptr> head;
  std::int32_t trailer;          // 128      160
  Ptr specs[kOldSpecTableSize];  // 132      168
};                               // 16520    32944

// One file name or mask of the new layout: its address, the rest zero.
template <typename Ptr>
struct ZipSpecT {
  Ptr fileSpec;                                         //   0        0
  std::uint8_t reserved[sizeof(Ptr) == 4 ? 100 : 104];  //   4        8
};                                                      // 104      112

template <typename Ptr>
struct ZipBlockNewT {
  ZipBlockHeadT<Ptr> head;
  Ptr tempDir;                   // 128      160
  std::int32_t reserved132;      // 132      168
  std::int32_t reserved136;      // 136      172
  Ptr specArray;                 // 140      176
  std::uint8_t reserved144[68];  // 144      184
  std::int32_t trailer;          // 212      252
};                               // 216      256

template <typename Ptr>
struct UnzipBlockHeadT {
  Ptr ownerWindow;          //   0        0
  Ptr caller;               //   4        8
  std::int32_t version;     //   8       16
  Ptr callback;             //  12       24
  std::int32_t trace;       //  16       32
  std::int32_t reserved20;  //  20       36
  Ptr password;             //  24       40
  std::int32_t test;        //  28       48
  std::int32_t reserved32;  //  32       52
  std::int32_t reserved36;  //  36       56
  std::int32_t always40;    //  40       60
  std::int32_t verbose;     //  44       64
  std::int32_t update;      //  48       68
  std::int32_t freshen;     //  52       72
  std::int32_t dirNames;    //  56       76
  std::int32_t overwrite;   //  60       80
  std::int32_t count;       //  64       84
  Ptr archive;              //  68       88
};

// Engines below version 152.
template <typename Ptr>
struct UnzipBlockOldT {
  UnzipBlockHeadT<Ptr> head;
  std::int32_t trailer;          //  72       96
  Ptr specs[kOldSpecTableSize];  //  76      104
};                               // 16464    32880

template <typename Ptr>
struct UnzipSpecT {
  Ptr fileSpec;                                       //   0        0
  std::uint8_t reserved[sizeof(Ptr) == 4 ? 68 : 72];  //   4        8
};                                                    //  72       80

template <typename Ptr>
struct UnzipBlockNewT {
  UnzipBlockHeadT<Ptr> head;
  Ptr specArray;                //  72       96
  std::uint8_t reserved76[68];  //  76      104
  std::int32_t trailer;         // 144      172
};                              // 148      176

// What crosses the library boundary in this build.
using Addr = std::uintptr_t;
using CallbackRecord = CallbackRecordT<Addr>;
using ZipBlockHead = ZipBlockHeadT<Addr>;
using ZipBlockOld = ZipBlockOldT<Addr>;
using ZipBlockNew = ZipBlockNewT<Addr>;
using ZipSpec = ZipSpecT<Addr>;
using UnzipBlockHead = UnzipBlockHeadT<Addr>;
using UnzipBlockOld = UnzipBlockOldT<Addr>;
using UnzipBlockNew = UnzipBlockNewT<Addr>;
using UnzipSpec = UnzipSpecT<Addr>;

// Platform default calling convention (there is only one on x86-64 Linux).
extern "C" {
using EngineCallback = std::int32_t (*)(CallbackRecord* record);
using ZipEngExecFn = std::int32_t (*)(void* block);
using UnzEngExecFn = std::int32_t (*)(void* block);
using GetEngVersionFn = std::int32_t (*)();
}

inline constexpr const char* kZipEngineFile = "ZIPENG.DLL";
inline constexpr const char* kUnzipEngineFile = "UNZENG.DLL";
inline constexpr const char* kZipExecName = "ZipEngExec";
inline constexpr const char* kZipVersionName = "GetZipEngVersion";
inline constexpr const char* kUnzipExecName = "UnzEngExec";
inline constexpr const char* kUnzipVersionName = "GetUnzEngVersion";

namespace layout_check {
template <typename P, std::size_t PtrSize>
constexpr bool Is(std::size_t off32, std::size_t off64, std::size_t actual) {
  return actual == (PtrSize == 4 ? off32 : off64);
}

template <typename P>
constexpr bool Check() {
  constexpr std::size_t w = sizeof(P);
  using CR = CallbackRecordT<P>;
  using ZH = ZipBlockHeadT<P>;
  using ZO = ZipBlockOldT<P>;
  using ZN = ZipBlockNewT<P>;
  using UH = UnzipBlockHeadT<P>;
  using UO = UnzipBlockOldT<P>;
  using UN = UnzipBlockNewT<P>;
  static_assert(Is<P, w>(4, 8, offsetof(CR, caller)));
  static_assert(Is<P, w>(16, 24, offsetof(CR, action)));
  static_assert(Is<P, w>(20, 28, offsetof(CR, error)));
  static_assert(Is<P, w>(24, 32, offsetof(CR, size)));
  static_assert(Is<P, w>(28, 36, offsetof(CR, text)));
  static_assert(Is<P, w>(540, 552, sizeof(CR)));

  static_assert(Is<P, w>(8, 16, offsetof(ZH, version)));
  static_assert(Is<P, w>(12, 24, offsetof(ZH, callback)));
  static_assert(Is<P, w>(16, 32, offsetof(ZH, trace)));
  static_assert(Is<P, w>(20, 40, offsetof(ZH, password)));
  static_assert(Is<P, w>(28, 52, offsetof(ZH, encrypt)));
  static_assert(Is<P, w>(44, 68, offsetof(ZH, noSeparateDirs)));
  static_assert(Is<P, w>(52, 76, offsetof(ZH, verbose)));
  static_assert(Is<P, w>(60, 84, offsetof(ZH, level)));
  static_assert(Is<P, w>(72, 96, offsetof(ZH, noDirNames)));
  static_assert(Is<P, w>(76, 100, offsetof(ZH, recurse)));
  static_assert(Is<P, w>(80, 104, offsetof(ZH, always80)));
  static_assert(Is<P, w>(96, 120, offsetof(ZH, update)));
  static_assert(Is<P, w>(100, 124, offsetof(ZH, freshen)));
  static_assert(Is<P, w>(108, 132, offsetof(ZH, zipTime)));
  static_assert(Is<P, w>(120, 144, offsetof(ZH, count)));
  static_assert(Is<P, w>(124, 152, offsetof(ZH, archive)));
  static_assert(Is<P, w>(128, 160, offsetof(ZO, trailer)));
  static_assert(Is<P, w>(132, 168, offsetof(ZO, specs)));
  static_assert(Is<P, w>(16520, 32944, sizeof(ZO)));
  static_assert(Is<P, w>(128, 160, offsetof(ZN, tempDir)));
  static_assert(Is<P, w>(140, 176, offsetof(ZN, specArray)));
  static_assert(Is<P, w>(212, 252, offsetof(ZN, trailer)));
  static_assert(Is<P, w>(216, 256, sizeof(ZN)));
  static_assert(Is<P, w>(104, 112, sizeof(ZipSpecT<P>)));

  static_assert(Is<P, w>(24, 40, offsetof(UH, password)));
  static_assert(Is<P, w>(28, 48, offsetof(UH, test)));
  static_assert(Is<P, w>(40, 60, offsetof(UH, always40)));
  static_assert(Is<P, w>(44, 64, offsetof(UH, verbose)));
  static_assert(Is<P, w>(56, 76, offsetof(UH, dirNames)));
  static_assert(Is<P, w>(60, 80, offsetof(UH, overwrite)));
  static_assert(Is<P, w>(64, 84, offsetof(UH, count)));
  static_assert(Is<P, w>(68, 88, offsetof(UH, archive)));
  static_assert(Is<P, w>(72, 96, offsetof(UO, trailer)));
  static_assert(Is<P, w>(76, 104, offsetof(UO, specs)));
  static_assert(Is<P, w>(16464, 32880, sizeof(UO)));
  static_assert(Is<P, w>(72, 96, offsetof(UN, specArray)));
  static_assert(Is<P, w>(144, 172, offsetof(UN, trailer)));
  static_assert(Is<P, w>(148, 176, sizeof(UN)));
  static_assert(Is<P, w>(72, 80, sizeof(UnzipSpecT<P>)));
  return true;
}
static_assert(Check<std::uint32_t>());
#if UINTPTR_MAX != 0xffffffff  // i386 aligns 8-byte integers to 4; only 64-bit hosts check it
static_assert(Check<std::uint64_t>());
#endif
}  // namespace layout_check

}  // namespace pz::zipabi
