function Span(s)
  if s.classes[1] == "footnote" then return pandoc.Note({pandoc.Para(s.content)}) end
end
