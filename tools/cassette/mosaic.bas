# The P2000T program inside the template cassette image "KESTRIL.RAN" (BASIC-NL 1.1).
# make_template tokenizes it, pads line 1's REM with spaces so that row 18's two markers meet
# at the first block boundary, and lays it out in cassette blocks.
#
# Each row is one PRINT of a literal: {97} (stored on screen as 0x17, white mosaic graphics)
# and the row's 39-byte marker, which the converter replaces by the row's mosaic codes. Every
# marker stands between {97} or a quote, so no row can spell a marker with the bytes beside it.
# The first screen shows rows 1 to 24, a key the screen with rows 2 to 25, the next key rows
# 1 to 24 again. Cursor off (24595), text window down to an invisible 25th row (24751) so that
# the bottom-right cell does not scroll the picture away, keyboard buffer count (24588).
1 REM MOSAIC
10 POKE 24595,1:POKE 24751,24
20 FOR S=0 TO 1
30 PRINT CHR$(12);:IF S=1 THEN 50
40 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!01";
50 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!02";
60 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!03";
70 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!04";
80 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!05";
90 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!06";
100 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!07";
110 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!08";
120 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!09";
130 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!10";
140 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!11";
150 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!12";
160 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!13";
170 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!14";
180 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!15";
190 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!16";
200 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!17";
210 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!181!!!!!!!!!!182";
220 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!19";
230 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!20";
240 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!21";
250 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!22";
260 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!23";
270 PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!24";
280 IF S=1 THEN PRINT"{97}!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!25";
290 POKE 24588,0
300 IF PEEK(24588)=0 THEN 300
310 NEXT:GOTO 20
