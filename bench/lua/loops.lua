-- The interpreter benchmark's loops written in Lua, timed the same way (best of five runs),
-- so the script interpreter's figures have a well-known point of comparison.
local function best(name, items, fn)
  local bestTime = math.huge
  for _ = 1, 5 do
    local t0 = os.clock()
    fn()
    local t = os.clock() - t0
    if t < bestTime then bestTime = t end
  end
  print(string.format("%-28s %10.3f ms  (%d items)", name, bestTime * 1000, items))
end

best("ForLoopSum", 1000000, function()
  local s = 0
  for i = 1, 1000000 do s = s + i end
  return s
end)

best("ScriptFunctionCalls", 10000, function()
  local function nextOf(x) return x + 1 end
  local s = 0
  for _ = 1, 10000 do s = nextOf(s) end
  return s
end)

best("ObjectPathProperty", 100000, function()
  -- a dotted path from the root through a child to a property, read and written
  local kqdb = { obj = { x = 0 } }
  for _ = 1, 100000 do kqdb.obj.x = kqdb.obj.x + 1 end
  return kqdb.obj.x
end)

best("StringConcatenation", 10000, function()
  local s = ""
  for i = 1, 10000 do s = s .. "x" .. tostring(i % 10) end
  return #s
end)
