// The Start button of the menu: dim it while it is pressed and go to the room.
SELF.hxTrans := 128;
SetScreen(KQDB.ROOM);
