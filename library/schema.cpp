#include "library/schema.h"

namespace vellum {

const char kCreateTableSql[] =
    "CREATE TABLE list(file_name TEXT UNIQUE , file_title TEXT , file_ext TEXT , "
    "file_size INTEGER DEFAULT 0 , statDuration INTEGER DEFAULT 0 , "
    "statChannels INTEGER DEFAULT 0 , statSamplingrate INTEGER DEFAULT 0 , "
    "statBitrate INTEGER DEFAULT 0 , infoCodec_sub TEXT , rating INTEGER DEFAULT 0 , "
    "playcount INTEGER DEFAULT 0 , lastplayed INTEGER DEFAULT 0 , modify INTEGER DEFAULT 0 , "
    "tagTitle TEXT , tagArtist TEXT , tagAlbum TEXT , tagGenre TEXT , tagDate TEXT , "
    "tagComment TEXT , tagTracknumber TEXT , tagPerformer TEXT , tagCopyright TEXT , "
    "tagSubtitle TEXT , tagAlbumArtist TEXT , tagDiscNumber TEXT , PRIMARY KEY(file_name))";

}  // namespace vellum
