# The LZMA SDK's C files the archive code needs (7z headers, LZMA/LZMA2, BCJ,
# AES, SHA-256; MD5 for the downloads), from the copy that scripts/setup.sh
# installs; shared by the Windows build and the native build of the bundling tool.
set(LZMA_SDK_DIR ${CMAKE_CURRENT_LIST_DIR}/../../third_party/lzma/C)
set(LZMA_SDK_FILES 7zArcIn.c 7zBuf.c 7zCrc.c 7zCrcOpt.c 7zDec.c 7zStream.c Bcj2.c Bra.c
    Bra86.c BraIA64.c Delta.c CpuArch.c Lzma2Dec.c LzmaDec.c Aes.c AesOpt.c Sha256.c Md5.c
    Sha256Opt.c)
set(LZMA_SDK_SOURCES)
foreach(file ${LZMA_SDK_FILES})
  list(APPEND LZMA_SDK_SOURCES ${LZMA_SDK_DIR}/${file})
endforeach()
# The encoder side, for the bundling tool only (the chainer never compresses),
# with the SDK's threads so that the match finder runs beside the encoder.
set(LZMA_SDK_ENCODER_FILES LzmaEnc.c Lzma2Enc.c LzFind.c LzFindOpt.c LzFindMt.c MtCoder.c MtDec.c
    Threads.c)
set(LZMA_SDK_ENCODER_SOURCES)
foreach(file ${LZMA_SDK_ENCODER_FILES})
  list(APPEND LZMA_SDK_ENCODER_SOURCES ${LZMA_SDK_DIR}/${file})
endforeach()
# The archive code that the tool shares with the chainer: pure format work.
set(ARCHIVE_SHARED_SOURCES)
foreach(file aes_7z.cpp bundle_index.cpp coder_chain.cpp entry_name.cpp pe_overlay.cpp
        seven_zip_archive.cpp)
  list(APPEND ARCHIVE_SHARED_SOURCES ${CMAKE_CURRENT_LIST_DIR}/${file})
endforeach()
list(APPEND ARCHIVE_SHARED_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../util/path_text.cpp)
