/*
** bass_api.h: the stand-in audio library's own declarations of what it exports.
**
** The stand-in has exactly the calling interface of BASS 2.4 and its TAGS add-on
** for the functions below (every one __stdcall on Windows, C linkage, unmangled),
** plus a control surface named SIMBASS_* that lets tests and the stand-in host
** play channels without a sound card. Natively everything is in the static
** library `sim_bass`; on Windows BASS_* and SIMBASS_* are in bass.dll and
** TAGS_Read in tags.dll.
**
** This header compiles as C99 and as C++ and needs no other header first.
*/
#ifndef SIM_BASS_BASS_API_H
#define SIM_BASS_BASS_API_H

#include <stdint.h>

#ifdef _WIN32
#define SIMBASS_API __stdcall
#else
#define SIMBASS_API
#endif

#ifdef __cplusplus
typedef char16_t simbass_char16; /* a UTF-16 code unit */
extern "C" {
#else
typedef uint16_t simbass_char16;
#endif

/* The channel information record (BASS_CHANNELINFO). On i686 all eight fields
   are 32-bit. `filename` points at the path the channel was opened with: UTF-16
   when `flags` holds BASS_UNICODE, else a char path; null for memory streams. It
   stays valid until the channel is freed. */
typedef struct BASS_CHANNELINFO {
    uint32_t freq;    /* sample rate, Hz */
    uint32_t chans;   /* channel count */
    uint32_t flags;   /* the flags the channel was created with */
    uint32_t ctype;   /* channel type, BASS_CTYPE_* */
    uint32_t origres; /* original resolution in bits, 0 when not known */
    uint32_t plugin;  /* always 0 */
    uint32_t sample;  /* always 0 */
    const char* filename;
} BASS_CHANNELINFO;

/* void SYNCPROC(sync handle, channel, data, user): called on the stand-in's
   own sync thread, never on the thread that caused the sync. */
typedef void(SIMBASS_API SIMBASS_SYNCPROC)(uint32_t handle, uint32_t channel, uint32_t data, void* user);

/* Flags. */
#define SIMBASS_UNICODE       0x80000000u /* BASS_UNICODE: the path is UTF-16 */
#define SIMBASS_STREAM_DECODE 0x00200000u /* BASS_STREAM_DECODE / BASS_MUSIC_DECODE */
#define SIMBASS_MUSIC_PRESCAN 0x00020000u /* BASS_MUSIC_PRESCAN: the module's byte length is known */

/* Channel types reported in BASS_CHANNELINFO.ctype. */
#define SIMBASS_CTYPE_STREAM_OGG       0x10002u
#define SIMBASS_CTYPE_STREAM_MP1       0x10003u
#define SIMBASS_CTYPE_STREAM_MP2       0x10004u
#define SIMBASS_CTYPE_STREAM_MP3       0x10005u
#define SIMBASS_CTYPE_STREAM_AIFF      0x10006u
#define SIMBASS_CTYPE_STREAM_FLAC      0x10900u
#define SIMBASS_CTYPE_STREAM_WAV_PCM   0x50001u
#define SIMBASS_CTYPE_STREAM_WAV_FLOAT 0x50003u
#define SIMBASS_CTYPE_MUSIC_MOD        0x20000u

/* BASS_ChannelGetLength / GetPosition mode; BASS_StreamGetFilePosition modes. */
#define SIMBASS_POS_BYTE         0u
#define SIMBASS_FILEPOS_CURRENT  0u
#define SIMBASS_FILEPOS_DOWNLOAD 1u
#define SIMBASS_FILEPOS_END      2u
#define SIMBASS_FILEPOS_START    3u
#define SIMBASS_FILEPOS_SIZE     8u

/* Sync types (the type word may also carry ONETIME and MIXTIME). */
#define SIMBASS_SYNC_POS     0u
#define SIMBASS_SYNC_END     2u
#define SIMBASS_SYNC_FREE    8u
#define SIMBASS_SYNC_MIXTIME 0x40000000u
#define SIMBASS_SYNC_ONETIME 0x80000000u

/* BASS_ChannelGetTags types. */
#define SIMBASS_TAG_ID3        0u       /* ID3v1: the 128-byte "TAG" block */
#define SIMBASS_TAG_ID3V2      1u       /* the whole ID3v2 block, header included */
#define SIMBASS_TAG_OGG        2u       /* Vorbis comments: "NAME=value" strings, then an empty one */
#define SIMBASS_TAG_RIFF_INFO  0x100u   /* RIFF LIST/INFO: "INAM=value" strings, then an empty one */
#define SIMBASS_TAG_MUSIC_NAME 0x10000u /* the module's song name */

/* BASS_ChannelIsActive results. */
#define SIMBASS_ACTIVE_STOPPED 0u
#define SIMBASS_ACTIVE_PLAYING 1u

/* Error codes (BASS_ErrorGetCode, per thread). */
#define SIMBASS_OK             0
#define SIMBASS_ERROR_MEM      1
#define SIMBASS_ERROR_FILEOPEN 2
#define SIMBASS_ERROR_HANDLE   5
#define SIMBASS_ERROR_FORMAT   6
#define SIMBASS_ERROR_POSITION 7
#define SIMBASS_ERROR_INIT     8
#define SIMBASS_ERROR_ALREADY  14
#define SIMBASS_ERROR_NOTAUDIO 17
#define SIMBASS_ERROR_ILLTYPE  19
#define SIMBASS_ERROR_ILLPARAM 20
#define SIMBASS_ERROR_NOTFILE  27
#define SIMBASS_ERROR_NOTAVAIL 37
#define SIMBASS_ERROR_FILEFORM 41
#define SIMBASS_ERROR_CODEC    44
#define SIMBASS_ERROR_ENDED    45

/* BASS_Init devices: no sound, and the default output. */
#define SIMBASS_DEVICE_NOSOUND 0
#define SIMBASS_DEVICE_DEFAULT (-1)

/* BASS_ChannelGetData: the length word's flag for 32-bit float samples. */
#define SIMBASS_DATA_FLOAT 0x40000000u

/* ---- BASS 2.4 (bass.dll) ---- */
uint32_t SIMBASS_API BASS_GetVersion(void);
/* Accepts every device; after the "no sound" device (0) a channel that would
   play (no decode flag) is refused with NOTAVAIL, as with the real library.
   `win` and `dsguid` are not used. */
int32_t SIMBASS_API BASS_Init(int32_t device, uint32_t freq, uint32_t flags, void* win, const void* dsguid);
int32_t SIMBASS_API BASS_Free(void);
int32_t SIMBASS_API BASS_ErrorGetCode(void);
uint32_t SIMBASS_API BASS_StreamCreateFile(int32_t mem, const void* file, uint64_t offset, uint64_t length,
                                           uint32_t flags);
uint32_t SIMBASS_API BASS_MusicLoad(int32_t mem, const void* file, uint64_t offset, uint32_t length, uint32_t flags,
                                    uint32_t freq);
int32_t SIMBASS_API BASS_StreamFree(uint32_t handle);
int32_t SIMBASS_API BASS_MusicFree(uint32_t handle);
int32_t SIMBASS_API BASS_ChannelFree(uint32_t handle);
int32_t SIMBASS_API BASS_ChannelGetInfo(uint32_t handle, BASS_CHANNELINFO* info);
const char* SIMBASS_API BASS_ChannelGetTags(uint32_t handle, uint32_t tags);
uint64_t SIMBASS_API BASS_ChannelGetLength(uint32_t handle, uint32_t mode);
uint64_t SIMBASS_API BASS_ChannelGetPosition(uint32_t handle, uint32_t mode);
double SIMBASS_API BASS_ChannelBytes2Seconds(uint32_t handle, uint64_t pos);
uint64_t SIMBASS_API BASS_ChannelSeconds2Bytes(uint32_t handle, double secs);
uint64_t SIMBASS_API BASS_StreamGetFilePosition(uint32_t handle, uint32_t mode);
uint32_t SIMBASS_API BASS_ChannelSetSync(uint32_t handle, uint32_t type, uint64_t param, SIMBASS_SYNCPROC* proc,
                                         void* user);
int32_t SIMBASS_API BASS_ChannelRemoveSync(uint32_t handle, uint32_t sync);
uint32_t SIMBASS_API BASS_ChannelIsActive(uint32_t handle);
int32_t SIMBASS_API BASS_ChannelPlay(uint32_t handle, int32_t restart);
int32_t SIMBASS_API BASS_ChannelStop(uint32_t handle);
/* Decoding channels: silence of up to `length` bytes (16-bit, or 32-bit float
   with SIMBASS_DATA_FLOAT) from the position on, which it moves forward; the
   position and end syncs passed run on the calling thread before it returns.
   At the end: -1 (0xFFFFFFFF) with ENDED. Playing channels: silence, the
   position stays. */
uint32_t SIMBASS_API BASS_ChannelGetData(uint32_t handle, void* buffer, uint32_t length);

/* ---- TAGS add-on (tags.dll) ---- */
/* The text that `fmt` asks for, in UTF-8, in a buffer that the next call on the
   same thread reuses; null only for an unknown handle. */
const char* SIMBASS_API TAGS_Read(uint32_t handle, const char* fmt);

/* ---- Control surface (bass.dll) ---- */
/* A playing (non-decode) stream channel for a file, or a playing music when no
   stream reader takes it; 0 when nothing reads it. */
uint32_t SIMBASS_API SIMBASS_PlayFile(const simbass_char16* path);
/* A playing channel with no file: 44100 Hz stereo, `seconds` long. */
uint32_t SIMBASS_API SIMBASS_PlayUrl(const simbass_char16* url, double seconds);
/* Moves a playing channel's position (clamped to its length). Moving forward
   fires each position sync with old < param <= new, in order of position, then
   the end syncs when the new position reaches the length (the channel then
   stops). Syncs run on the sync thread. FALSE for a bad or stopped channel. */
int32_t SIMBASS_API SIMBASS_SetPosition(uint32_t channel, uint64_t bytes);
/* Stops a channel without firing its end syncs. */
int32_t SIMBASS_API SIMBASS_Stop(uint32_t channel);
/* Returns when every queued sync callback has finished (at once on the sync
   thread itself). */
void SIMBASS_API SIMBASS_WaitSyncs(void);
/* How many musics (BASS_MusicLoad handles) are loaded and not yet freed. */
uint32_t SIMBASS_API SIMBASS_LoadedMusics(void);

#ifdef __cplusplus
}
#endif

#endif /* SIM_BASS_BASS_API_H */
