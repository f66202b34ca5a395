#include "common/widgets/sound_player.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(SoundPlayer, EveryNamedSoundIsAPlayableWave) {
    widgets::SoundPlayer player;
    for (const char* name :
         {"IDR_WAVE_START", "IDR_WAVE_YK", "IDR_WAVE_HOVER", "IDR_WAVE_YX", "IDR_WAVE_RING"}) {
        const QString path = widgets::SoundPlayer::ResourcePath(QString::fromLatin1(name));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        const QByteArray head = f.read(44);
        ASSERT_EQ(head.size(), 44) << name;
        EXPECT_EQ(head.left(4), QByteArray("RIFF")) << name;
        EXPECT_EQ(head.mid(8, 8), QByteArray("WAVEfmt ")) << name;
        player.Play(QString::fromLatin1(name));
        EXPECT_EQ(player.LastPlayed(), QString::fromLatin1(name));
    }
    EXPECT_TRUE(widgets::SoundPlayer::ResourcePath("IDR_WAVE_NONE").isEmpty());
    player.Play("IDR_WAVE_NONE"); // unknown names are ignored, not fatal
}
