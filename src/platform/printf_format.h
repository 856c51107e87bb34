// ZQ_PRINTF_FORMAT(F, A): the printf-style check of a helper whose argument F is its format
// and whose arguments from A on are formatted, for helpers that pass them on to the C++
// library's vsnprintf. On MinGW that vsnprintf is the C99 one of the MinGW runtime (it
// knows %zu and %lld), while GCC would check a plain "printf" format against msvcrt's,
// which does not; the GNU archetype is the one that fits there.
#ifndef ZQASM_PLATFORM_PRINTF_FORMAT_H_
#define ZQASM_PLATFORM_PRINTF_FORMAT_H_

#if defined(__MINGW32__)
#define ZQ_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define ZQ_PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(printf, formatIndex, firstArgument)))
#endif

#endif  // ZQASM_PLATFORM_PRINTF_FORMAT_H_
