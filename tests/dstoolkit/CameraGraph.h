// A form's camera graph built as KivoApp builds it.
#pragma once

#include <gtest/gtest.h>

#include <dshow.h>

#include "DSGraph.h"
#include "GraphSupport.h"

namespace kivo::test {

// Activates the form's graph, then connects camera -> grabber -> video window through the
// interfaces the components hand out.
template <class TCameraForm>
void ConnectCameraGraph(TCameraForm* form) {
  form->Graph->SetActive(true);
  auto builder = form->Graph->template Query<IGraphBuilder>();
  ASSERT_TRUE(builder);
  TComPtr<IBaseFilter> source, renderer;
  ASSERT_EQ(form->Source->QueryInterface(IID_IBaseFilter, source.PutVoid()), S_OK);
  ASSERT_EQ(form->Window->QueryInterface(IID_IBaseFilter, renderer.PutVoid()), S_OK);
  ASSERT_EQ(builder->Connect(FindPinOf(source.Get(), PINDIR_OUTPUT).Get(), form->Sample->InPin()), S_OK);
  ASSERT_EQ(builder->Connect(form->Sample->OutPin(), FindPinOf(renderer.Get(), PINDIR_INPUT).Get()), S_OK);
}

}  // namespace kivo::test
