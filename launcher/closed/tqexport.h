#pragma once

// What the closed libraries export and the launcher imports across their DLL boundaries. Each
// library's build defines its own TQ<LIB>_BUILD; everyone else imports.
#if defined(_WIN32)
#define TQ_DECL_EXPORT __declspec(dllexport)
#define TQ_DECL_IMPORT __declspec(dllimport)
#else
#define TQ_DECL_EXPORT __attribute__((visibility("default")))
#define TQ_DECL_IMPORT __attribute__((visibility("default")))
#endif

#ifdef TQLOG_BUILD
#define TQLOG_API TQ_DECL_EXPORT
#else
#define TQLOG_API TQ_DECL_IMPORT
#endif

#ifdef TQLOGIC_BUILD
#define TQLOGIC_API TQ_DECL_EXPORT
#else
#define TQLOGIC_API TQ_DECL_IMPORT
#endif

#ifdef TQCOMMONUI_BUILD
#define TQCOMMONUI_API TQ_DECL_EXPORT
#else
#define TQCOMMONUI_API TQ_DECL_IMPORT
#endif

#ifdef TQMAINFRAME_BUILD
#define TQMAINFRAME_API TQ_DECL_EXPORT
#else
#define TQMAINFRAME_API TQ_DECL_IMPORT
#endif
