/* The resources a single-file installer carries: its configuration, its string file
   and its ten skin images, each RT_RCDATA holding the file's bytes unchanged, in the
   language of the program's other resources (English, United States). Plain
   preprocessor definitions, so that resource scripts, the installer and zarn-kit's
   packer and checker share one list. */
#pragma once

#define IDR_KIT_CONFIG 200
#define IDR_KIT_STRINGS 201
/* The skin images, in the window's loading order (ui/skin_files.h). */
#define IDR_KIT_SKIN_FIRST 210
#define KIT_SKIN_COUNT 10
/* MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US) */
#define KIT_RESOURCE_LANGUAGE 0x0409
