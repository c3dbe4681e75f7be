/* Resource numbers, shared by the resource script and the C++ code. */
#ifndef ORVALIN_APP_RESOURCE_H
#define ORVALIN_APP_RESOURCE_H

#define ORVALIN_PROGRAM_ICON 1

#ifdef __cplusplus
constexpr int kProgramIconId = ORVALIN_PROGRAM_ICON;
#endif

#endif
