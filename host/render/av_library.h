// FFmpeg's functions as the video writer and the GIF's palette use them: a
// table of pointers filled by dlsym (video_writer.cpp loads the libraries).
// Only for builds with FFmpeg's headers (LUMIVOR_HAVE_FFMPEG).
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/macros.h>
#include <libswscale/swscale.h>
}

// FFmpeg's libraries are loaded when the first video is opened, not linked:
// with what they need they are over a hundred libraries, which every start of
// the program (the saver too) would map, doubling a render's memory.
#define LUMIVOR_AV_FUNCTIONS(X)                 \
    X(avutil, av_strerror)                      \
    X(avutil, av_malloc)                        \
    X(avutil, av_free)                          \
    X(avutil, av_freep)                         \
    X(avutil, av_d2q)                           \
    X(avutil, av_dict_set)                      \
    X(avutil, av_dict_free)                     \
    X(avutil, av_frame_alloc)                   \
    X(avutil, av_frame_free)                    \
    X(avutil, av_frame_get_buffer)              \
    X(avutil, av_frame_make_writable)           \
    X(avutil, av_frame_unref)                   \
    X(avutil, av_log_set_level)                 \
    X(avcodec, avcodec_find_encoder_by_name)    \
    X(avcodec, avcodec_alloc_context3)          \
    X(avcodec, avcodec_free_context)            \
    X(avcodec, avcodec_open2)                   \
    X(avcodec, avcodec_parameters_from_context) \
    X(avcodec, av_packet_alloc)                 \
    X(avcodec, av_packet_free)                  \
    X(avcodec, av_packet_rescale_ts)            \
    X(avcodec, avcodec_send_frame)              \
    X(avcodec, avcodec_receive_packet)          \
    X(avformat, avformat_alloc_output_context2) \
    X(avformat, avio_alloc_context)             \
    X(avformat, avio_context_free)              \
    X(avformat, avformat_free_context)          \
    X(avformat, avformat_new_stream)            \
    X(avformat, avformat_write_header)          \
    X(avformat, av_interleaved_write_frame)     \
    X(avformat, av_write_trailer)               \
    X(avformat, avio_flush)                     \
    X(swscale, sws_getContext)                  \
    X(swscale, sws_freeContext)                 \
    X(swscale, sws_getCoefficients)             \
    X(swscale, sws_setColorspaceDetails)        \
    X(swscale, sws_scale)

// The GIF's palette filters, loaded only for a GIF: libavfilter brings a
// dozen more libraries, which the other videos need not map.
#define LUMIVOR_AVFILTER_FUNCTIONS(X)         \
    X(avfilter, avfilter_graph_alloc)         \
    X(avfilter, avfilter_graph_free)          \
    X(avfilter, avfilter_get_by_name)         \
    X(avfilter, avfilter_graph_create_filter) \
    X(avfilter, avfilter_link)                \
    X(avfilter, avfilter_graph_config)        \
    X(avfilter, av_buffersrc_add_frame_flags) \
    X(avfilter, av_buffersink_get_frame)

struct AvLibraries {
#define LUMIVOR_AV_POINTER(library, name) decltype(&::name) name = nullptr;
    LUMIVOR_AV_FUNCTIONS(LUMIVOR_AV_POINTER)
    LUMIVOR_AVFILTER_FUNCTIONS(LUMIVOR_AV_POINTER)
#undef LUMIVOR_AV_POINTER
};

extern AvLibraries av;

// Loads libavfilter of the same release, once, after the other libraries.
bool LoadAvFilter(std::string* reason);

// FFmpeg's text for an error code.
std::string AvError(int code);
